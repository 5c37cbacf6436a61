// Start-to-exit wall time of the uninstaller beside that of a trivial Windows
// program (this program started with "/idle", which returns at once), both
// started the same way, alternately, in one run under the same Wine. The
// uninstaller is an installed one with its log, run silently (its copy then
// asks nothing): its run ends once it has restarted itself from a temporary
// copy. That copy is waited for, unmeasured, before the next run starts, so
// it does not weigh on the figures.
//
//   launcher_start.exe RUNS UNINSTALLER
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Milliseconds from CreateProcessW to the end of the process; negative when
// the start fails or the process ends with a non-zero code.
double TimeRun(const std::wstring& command_line) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::wstring line = command_line;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return -1;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                      &pi)) {
    CloseHandle(job);
    return -1;
  }
  AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // Processes the run started (the restarted copy) end before the next run.
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  for (int waited = 0; waited < 30000; waited += 10) {
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
        info.ActiveProcesses == 0)
      break;
    Sleep(10);
  }
  CloseHandle(job);
  if (code != 0) {
    std::fprintf(stderr, "the run ended with %lu\n", static_cast<unsigned long>(code));
    return -1;
  }
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"/idle") == 0) return 0;
  if (argc != 3) {
    std::fprintf(stderr, "usage: launcher_start RUNS UNINSTALLER\n");
    return 2;
  }
  int runs = std::max(1, _wtoi(argv[1]));
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring trivial = L"\"" + std::wstring(self) + L"\" /idle";
  std::wstring launcher = L"\"" + std::wstring(argv[2]) + L"\" /S";

  // One unmeasured start of each warms the file cache and the wineserver.
  TimeRun(trivial);
  TimeRun(launcher);
  std::vector<double> trivial_ms, launcher_ms;
  for (int i = 0; i < runs; ++i) {
    double t = TimeRun(trivial);
    double l = TimeRun(launcher);
    if (t < 0 || l < 0) {
      std::fprintf(stderr, "a run failed (start error or non-zero exit code)\n");
      return 1;
    }
    trivial_ms.push_back(t);
    launcher_ms.push_back(l);
  }
  double t = Median(trivial_ms), l = Median(launcher_ms);
  std::printf("runs: %d each, alternating; median start-to-exit wall time\n", runs);
  std::printf("  trivial program   %8.1f ms (min %.1f, max %.1f)\n", t,
              *std::min_element(trivial_ms.begin(), trivial_ms.end()),
              *std::max_element(trivial_ms.begin(), trivial_ms.end()));
  std::printf("  uninstall.exe     %8.1f ms (min %.1f, max %.1f)\n", l,
              *std::min_element(launcher_ms.begin(), launcher_ms.end()),
              *std::max_element(launcher_ms.begin(), launcher_ms.end()));
  std::printf("  launcher adds     %8.1f ms (target: under 100 ms)\n", l - t);
  return 0;
}
