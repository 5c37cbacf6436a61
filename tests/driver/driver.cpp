// qxdriver: starts a program under test, answers and records its message
// boxes, and reports full Windows exit codes.
//
//   qxdriver [--answer ID]... [--manual] [--delay MS] [--timeout MS]
//            [--shots DIR] [--cwd DIR] [--env NAME=VALUE]... [--wait-all]
//            [--move-first FROM TO] (--raw COMMANDLINE | -- PROGRAM ARGS...)
//   qxdriver --short PATH      prints "SHORT <the platform's short form>"
//
// --raw passes its one argument unchanged as the child's command line; after
// "--" the arguments are quoted by the usual rules and joined.
// Output, one line per event (UTF-8):
//   BOX <caption> TAB <text> TAB <marks>      a message box, before it is answered
//   WINDOW <class> TAB <caption> TAB <marks>  another top-level window, once
//   PROCESS <pid> <exit code>         a process of the run ended
//   EXIT <exit code>                  the started program's own exit code
//   TIMEOUT                           the run did not end in time and was killed
// <marks> names the right-to-left styles the window has (WS_EX_LAYOUTRTL,
// WS_EX_RTLREADING) and those of a box's text (text:SS_RIGHT,
// text:WS_EX_RTLREADING), each followed by a space; empty when it has none.
// Exit codes are printed as signed decimals. Boxes are answered with the
// --answer ids in order (1 IDOK, 2 IDCANCEL, 6 IDYES, 7 IDNO); when the list
// runs out, the first of IDOK, IDYES, IDCANCEL that the box has is pressed.
// With --manual no box is answered: a person clicks, the driver records.
// --delay leaves each box open that long before answering it. --env sets a
// variable for the program (Wine sets TMP and TEMP itself at each start).
// Processes the program starts belong to the same job; --wait-all waits for
// all of them, so a program that restarts itself as a copy can be followed.
// --move-first renames FROM to TO once the program is started (suspended)
// and before it runs, as another run does with a file in use: the program's
// own file can be moved away under it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace {

std::string Utf8(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Emit(const std::wstring& line) {
  std::string text = Utf8(line) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Control characters would break the one-line format: CR LF and LF become \n.
std::wstring Escape(const std::wstring& s) {
  std::wstring out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'\r' && i + 1 < s.size() && s[i + 1] == L'\n') continue;
    if (s[i] == L'\n') out += L"\\n";
    else if (s[i] == L'\r') out += L"\\r";
    else if (s[i] == L'\t') out += L"\\t";
    else if (s[i] == L'\\') out += L"\\\\";
    else out += s[i];
  }
  return out;
}

std::wstring WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring s(n + 1, L'\0');
  n = GetWindowTextW(hwnd, s.data(), n + 1);
  s.resize(n > 0 ? n : 0);
  return s;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::wstring RightToLeftMarks(HWND window, HWND text) {
  const LONG ex_style = GetWindowLongW(window, GWL_EXSTYLE);
  std::wstring marks;
  if (ex_style & WS_EX_LAYOUTRTL) marks += L"WS_EX_LAYOUTRTL ";
  if (ex_style & WS_EX_RTLREADING) marks += L"WS_EX_RTLREADING ";
  if (text && (GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT) marks += L"text:SS_RIGHT ";
  if (text && (GetWindowLongW(text, GWL_EXSTYLE) & WS_EX_RTLREADING)) marks += L"text:WS_EX_RTLREADING ";
  return marks;
}

struct Options {
  std::vector<int> answers;
  DWORD timeout_ms = 60000;
  std::wstring shots;
  std::wstring cwd;
  bool wait_all = false;
  bool manual = false;
  DWORD delay_ms = 0;
  std::wstring move_from, move_to;
  std::wstring command;
  std::wstring short_path;
};

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

bool ParseOptions(Options& o) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return false;
  int i = 1;
  for (; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--") break;
    if (i + 1 >= argc && a != L"--wait-all" && a != L"--manual") return false;
    if (a == L"--raw") o.command = argv[++i];
    else if (a == L"--answer") o.answers.push_back(_wtoi(argv[++i]));
    else if (a == L"--timeout") o.timeout_ms = static_cast<DWORD>(_wtoi(argv[++i]));
    else if (a == L"--shots") o.shots = argv[++i];
    else if (a == L"--cwd") o.cwd = argv[++i];
    else if (a == L"--delay") o.delay_ms = static_cast<DWORD>(_wtoi(argv[++i]));
    else if (a == L"--short") o.short_path = argv[++i];
    else if (a == L"--env") {
      std::wstring setting = argv[++i];
      const size_t equals = setting.find(L'=');
      if (equals == std::wstring::npos) return false;
      SetEnvironmentVariableW(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1);
    }
    else if (a == L"--wait-all") o.wait_all = true;
    else if (a == L"--manual") o.manual = true;
    else if (a == L"--move-first" && i + 2 < argc) o.move_from = argv[++i], o.move_to = argv[++i];
    else return false;
  }
  for (++i; i < argc; ++i) {
    if (!o.command.empty()) o.command += L' ';
    o.command += Quote(argv[i]);
  }
  LocalFree(argv);
  return !o.command.empty() || !o.short_path.empty();
}

// Saves the window's screen area as a 24-bit BMP.
void SaveShot(HWND hwnd, const std::wstring& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    DWORD stride = ((w * 3 + 3) / 4) * 4;
    DWORD image = stride * h;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + image;
    qx::UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f) {
      DWORD n;
      WriteFile(f.get(), &fh, sizeof(fh), &n, nullptr);
      WriteFile(f.get(), &bi.bmiHeader, sizeof(bi.bmiHeader), &n, nullptr);
      WriteFile(f.get(), bits, image, &n, nullptr);
    }
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

struct Tracked {
  DWORD pid;
  qx::UniqueHandle process;
  bool reported;
};

struct Run {
  Options* options;
  HANDLE job;
  std::vector<Tracked> processes;
  std::vector<HWND> seen;
  size_t next_answer = 0;
  int shot_number = 0;

  // Set once the job reports to a completion port.
  HANDLE port = nullptr;

  bool InJob(DWORD pid) const {
    for (const Tracked& t : processes)
      if (t.pid == pid) return true;
    return false;
  }

  void Track(DWORD pid) {
    if (InJob(pid)) return;
    qx::UniqueHandle h(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (h) processes.push_back({pid, std::move(h), false});
  }

  void RefreshProcesses() {
    // The port names each process as it starts, so a short-lived copy that
    // ends between two looks at the job's process list is still followed.
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED data = nullptr;
    while (port && GetQueuedCompletionStatus(port, &message, &key, &data, 0)) {
      if (message == JOB_OBJECT_MSG_NEW_PROCESS) Track(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data)));
    }
    struct {
      JOBOBJECT_BASIC_PROCESS_ID_LIST list;
      ULONG_PTR more[255];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 256;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof(ids), nullptr)) return;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
      Track(static_cast<DWORD>(ids.list.ProcessIdList[i]));
    }
  }

  void ReportEnded() {
    for (Tracked& t : processes) {
      if (t.reported || WaitForSingleObject(t.process.get(), 0) != WAIT_OBJECT_0) continue;
      DWORD code = 0;
      GetExitCodeProcess(t.process.get(), &code);
      Emit(L"PROCESS " + std::to_wstring(t.pid) + L" " + std::to_wstring(static_cast<long>(code)));
      t.reported = true;
    }
  }

  bool AllEnded() const {
    for (const Tracked& t : processes)
      if (!t.reported) return false;
    return true;
  }

  bool Seen(HWND hwnd) const {
    for (HWND s : seen)
      if (s == hwnd) return true;
    return false;
  }

  void Shot(HWND hwnd, const std::wstring& kind) {
    if (options->shots.empty()) return;
    Sleep(300);  // let the window paint itself
    wchar_t name[32];
    swprintf(name, 32, L"%02d-", ++shot_number);
    SaveShot(hwnd, options->shots + L"\\" + name + kind + L".bmp");
  }

  void Answer(HWND box) {
    Sleep(options->delay_ms);
    int id = 0;
    if (next_answer < options->answers.size()) {
      id = options->answers[next_answer++];
    } else {
      for (int candidate : {IDOK, IDYES, IDCANCEL}) {
        if (GetDlgItem(box, candidate)) {
          id = candidate;
          break;
        }
      }
    }
    HWND button = GetDlgItem(box, id);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }

  static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
    Run* run = reinterpret_cast<Run*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (!run->InJob(pid) || !IsWindowVisible(hwnd) || run->Seen(hwnd)) return TRUE;
    run->seen.push_back(hwnd);
    std::wstring cls = ClassOf(hwnd);
    HWND text = GetDlgItem(hwnd, 0xFFFF);
    if (cls == L"#32770" && text) {
      Emit(L"BOX " + Escape(WindowText(hwnd)) + L"\t" + Escape(WindowText(text)) + L"\t" +
           RightToLeftMarks(hwnd, text));
      run->Shot(hwnd, L"box");
      if (!run->options->manual) run->Answer(hwnd);
    } else {
      Emit(L"WINDOW " + Escape(cls) + L"\t" + Escape(WindowText(hwnd)) + L"\t" + RightToLeftMarks(hwnd, nullptr));
      run->Shot(hwnd, L"window");
    }
    return TRUE;
  }

  // Forgets windows that are gone, so a new window with a reused handle counts.
  void Prune() {
    std::vector<HWND> alive;
    for (HWND h : seen)
      if (IsWindow(h)) alive.push_back(h);
    seen.swap(alive);
  }
};

}  // namespace

int wmain() {
  Options options;
  if (!ParseOptions(options)) {
    Emit(L"usage: qxdriver [--answer ID]... [--manual] [--delay MS] [--timeout MS] [--shots DIR] [--cwd DIR] "
         L"[--env NAME=VALUE]... [--wait-all] [--move-first FROM TO] (--raw COMMANDLINE | -- PROGRAM ARGS...) | "
         L"--short PATH");
    return 100;
  }
  if (!options.short_path.empty()) {
    wchar_t short_path[MAX_PATH];
    const DWORD length = GetShortPathNameW(options.short_path.c_str(), short_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    Emit(L"SHORT " + std::wstring(short_path));
    return 0;
  }
  qx::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  qx::UniqueHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT link = {job.get(), port.get()};
  if (port && !SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &link, sizeof link)) {
    port.reset();
  }
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::wstring command = options.command;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      options.cwd.empty() ? nullptr : options.cwd.c_str(), &si, &pi)) {
    Emit(L"STARTFAILED " + std::to_wstring(GetLastError()));
    return 101;
  }
  qx::UniqueHandle thread(pi.hThread);
  AssignProcessToJobObject(job.get(), pi.hProcess);
  if (!options.move_from.empty() && !MoveFileExW(options.move_from.c_str(), options.move_to.c_str(), 0)) {
    Emit(L"MOVEFAILED " + std::to_wstring(GetLastError()));
    TerminateProcess(pi.hProcess, 255);
    return 103;
  }
  ResumeThread(thread.get());

  Run run{&options, job.get(), {}, {}};
  run.port = port.get();
  run.processes.push_back({pi.dwProcessId, qx::UniqueHandle(pi.hProcess), false});
  DWORD start = GetTickCount();
  bool main_done = false;
  for (;;) {
    run.RefreshProcesses();
    run.Prune();
    EnumWindows(&Run::Visit, reinterpret_cast<LPARAM>(&run));
    run.ReportEnded();
    if (!main_done && WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) main_done = true;
    if (main_done && (!options.wait_all || run.AllEnded())) {
      // A copy may have been started just before the end: look once more.
      if (!options.wait_all) break;
      Sleep(200);
      run.RefreshProcesses();
      if (run.AllEnded()) break;
    }
    if (GetTickCount() - start > options.timeout_ms) {
      Emit(L"TIMEOUT");
      TerminateJobObject(job.get(), 255);
      return 102;
    }
    Sleep(20);
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  Emit(L"EXIT " + std::to_wstring(static_cast<long>(code)));
  return 0;
}
