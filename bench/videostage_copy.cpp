// Copy time and peak memory of videostage.exe beside the platform's CopyFileW
// on the same source, both run as child processes started the same way,
// alternately, in one run under the same Wine.
//
//   videostage_copy.exe RUNS VIDEOSTAGE SOURCE STAGE_DIR
//       the source must be named in [VIDEO] "Path" of setting.ini already
//   videostage_copy.exe /copy SOURCE TARGET
//       the reference: one CopyFileW call
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Run {
  double ms = -1;
  SIZE_T peak_working_set = 0;
  SIZE_T peak_private = 0;
};

Run TimeRun(const std::wstring& command_line, const std::wstring& cwd) {
  Run run;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::wstring line = command_line;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi))
    return run;
  // Wine keeps no counters for an ended process: sample while it runs.
  while (WaitForSingleObject(pi.hProcess, 5) == WAIT_TIMEOUT) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters)) {
      run.peak_working_set = std::max(run.peak_working_set, counters.PeakWorkingSetSize);
      run.peak_private = std::max(run.peak_private, counters.PeakPagefileUsage);
    }
  }
  QueryPerformanceCounter(&end);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (code == 0)
    run.ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double Mib(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"/copy") == 0) return CopyFileW(argv[2], argv[3], FALSE) ? 0 : 1;
  if (argc != 5) {
    std::fprintf(stderr, "usage: videostage_copy RUNS VIDEOSTAGE SOURCE STAGE_DIR\n");
    return 2;
  }
  const int runs = std::max(1, _wtoi(argv[1]));
  const std::wstring videostage = argv[2], source = argv[3], stage = argv[4];
  const std::wstring staged = stage + L"\\temp.mov", copied = stage + L"\\copy.mov";
  const LONGLONG size = FileSize(source);

  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  const std::wstring reference = L"\"" + std::wstring(self) + L"\" /copy \"" + source + L"\" \"" + copied + L"\"";
  const std::wstring staging = L"\"" + videostage + L"\"";

  std::vector<double> copy_ms, stage_ms;
  SIZE_T copy_ws = 0, copy_private = 0, stage_ws = 0, stage_private = 0;
  for (int i = 0; i < runs; ++i) {
    Run c = TimeRun(reference, stage);
    bool copy_ok = c.ms >= 0 && FileSize(copied) == size;
    DeleteFileW(copied.c_str());
    Run s = TimeRun(staging, stage);
    bool stage_ok = s.ms >= 0 && FileSize(staged) == size;
    DeleteFileW(staged.c_str());
    if (!copy_ok || !stage_ok) {
      std::printf("run %d failed: CopyFileW %s, videostage %s\n", i + 1, copy_ok ? "ok" : "failed",
                  stage_ok ? "ok" : "failed");
      return 1;
    }
    copy_ms.push_back(c.ms);
    stage_ms.push_back(s.ms);
    copy_ws = std::max(copy_ws, c.peak_working_set);
    copy_private = std::max(copy_private, c.peak_private);
    stage_ws = std::max(stage_ws, s.peak_working_set);
    stage_private = std::max(stage_private, s.peak_private);
    std::printf("run %d: CopyFileW %.0f ms %.1f MiB, videostage %.0f ms %.1f MiB (peak working set)\n", i + 1, c.ms,
                Mib(c.peak_working_set), s.ms, Mib(s.peak_working_set));
  }
  const double copy_median = Median(copy_ms), stage_median = Median(stage_ms);
  std::printf("source %.0f MiB, %d runs each (median)\n", static_cast<double>(size) / (1024.0 * 1024.0), runs);
  std::printf("CopyFileW   %8.0f ms  peak working set %6.1f MiB  peak private %6.1f MiB\n", copy_median,
              Mib(copy_ws), Mib(copy_private));
  std::printf("videostage  %8.0f ms  peak working set %6.1f MiB  peak private %6.1f MiB\n", stage_median,
              Mib(stage_ws), Mib(stage_private));
  std::printf("ratio videostage / CopyFileW: %.2f (target <= 1.30); videostage peak target < 16 MiB\n",
              stage_median / copy_median);
  return 0;
}
