// How fast the progress box appears: ShowProgressBox from the call to its
// return (box built on its thread, event 0 handled), then 100 bar moves
// (message 1026) and the close (1038 until the box's thread has ended),
// beside a bare window of the same size with the same controls, made with
// CreateWindowExW on a thread of its own, in the same run.
//
//   progress_box_bench.exe <folder of QXCore.dll> <package folder>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/include/qxcore.h"

namespace {

constexpr int kRuns = 20;
constexpr int kMoves = 100;
constexpr UINT kSetPosition = WM_USER + 2;
constexpr UINT kCloseBox = WM_USER + 14;

double Now() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct Times {  // milliseconds
  double appear;
  double moves;
  double close;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// What the box's callback saw at event 0.
HWND g_box = nullptr;
HWND g_bar = nullptr;
DWORD g_box_thread = 0;
decltype(&QXDlgGetDlgItem) g_get_item = nullptr;

int WINAPI OnBoxEvent(int event, HWND dialog, int) {
  if (event == 0) {
    g_box = dialog;
    g_bar = g_get_item(static_cast<int>(reinterpret_cast<INT_PTR>(dialog)), 3);
    g_box_thread = GetCurrentThreadId();
  }
  return 0;
}

// Moves the bar, closes the window with |close| (sent, or posted for the
// bare window) and waits for |thread|.
void MoveAndClose(HWND window, HWND bar, UINT close, bool post, HANDLE thread, Times& times) {
  const double start = Now();
  for (int i = 1; i <= kMoves; ++i) SendMessageW(bar, kSetPosition, i, 0);
  const double moved = Now();
  if (post) PostMessageW(window, close, 0, 0);
  else SendMessageW(window, close, 0, 0);
  WaitForSingleObject(thread, INFINITE);
  times.moves = moved - start;
  times.close = Now() - moved;
}

// The bare window: a dialog-class window of the box's size with a button,
// a container, two labels and a bar, on its own thread.
struct Bare {
  HANDLE ready;
  HWND window;
  HWND bar;
};

DWORD WINAPI BareThread(void* parameter) {
  Bare& bare = *static_cast<Bare*>(parameter);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  RECT frame{0, 0, 400, 200};
  AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, WC_DIALOG, L"Bare", WS_POPUP | WS_CAPTION | WS_SYSMENU, 100, 100,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  auto add = [&](HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, nullptr, instance,
                                   nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  add(window, WC_BUTTONW, L"Cancel", BS_DEFPUSHBUTTON, 305, 164, 81, 25);
  HWND container = add(window, WC_STATICW, L"", 0, 0, 0, 400, 150);
  add(container, WC_STATICW, L"Uninstalling", 0, 15, 10, 300, 27);
  add(container, WC_STATICW, L"Please wait", 0, 16, 55, 300, 80);
  bare.bar = add(container, PROGRESS_CLASSW, L"", 0, 15, 115, 370, 18);
  bare.window = window;
  ShowWindow(window, SW_SHOW);
  SetEvent(bare.ready);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_CLOSE || (message.hwnd == window && message.message == WM_USER)) break;
    DispatchMessageW(&message);
  }
  DestroyWindow(window);
  return 0;
}

Times RunBare() {
  Bare bare{CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr, nullptr};
  const double start = Now();
  HANDLE thread = CreateThread(nullptr, 4096, &BareThread, &bare, 0, nullptr);
  WaitForSingleObject(bare.ready, INFINITE);
  Times times{Now() - start, 0, 0};
  // A posted request ends the bare loop, as WM_CLOSE ends the box's.
  MoveAndClose(bare.window, bare.bar, WM_USER, true, thread, times);
  CloseHandle(thread);
  CloseHandle(bare.ready);
  return times;
}

Times RunBox(decltype(&ShowProgressBox) show) {
  g_box = nullptr;
  const double start = Now();
  show(&OnBoxEvent);
  Times times{Now() - start, 0, 0};
  if (!g_box) return Times{-1, -1, -1};
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, g_box_thread);
  MoveAndClose(g_box, g_bar, kCloseBox, false, thread, times);
  CloseHandle(thread);
  return times;
}

bool Copy(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: progress_box_bench <dll folder> <package folder>\n");
    return 2;
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring runtime = std::wstring(temp) + L"qxbench_box";
  CreateDirectoryW(runtime.c_str(), nullptr);
  const std::wstring package = argv[2];
  if (!Copy(package + L"\\qxdlg.dat", runtime + L"\\qxdlg.dat") ||
      !Copy(package + L"\\qxlng.dat", runtime + L"\\qxlng.dat")) {
    std::fprintf(stderr, "package files not copied\n");
    return 1;
  }
  SetDllDirectoryW(argv[1]);
  HMODULE core = LoadLibraryW(L"QXCore.dll");
  if (!core) {
    std::fprintf(stderr, "QXCore.dll not loaded (%lu)\n", GetLastError());
    return 1;
  }
  auto bind = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(core, name)); };
  auto set_var = reinterpret_cast<decltype(&SetVar)>(bind("SetVar"));
  auto init_sfx = reinterpret_cast<decltype(&InitSFX)>(bind("InitSFX"));
  auto show = reinterpret_cast<decltype(&ShowProgressBox)>(bind("ShowProgressBox"));
  g_get_item = reinterpret_cast<decltype(&QXDlgGetDlgItem)>(bind("QXDlgGetDlgItem"));
  set_var(L"QXSFXPATH", runtime.c_str());
  set_var(L"APPTITLE", L"Orvella");
  init_sfx(GetModuleHandleW(nullptr));
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);

  // The process's first top-level window pays for Wine's own start-up of
  // windowing; the launcher's confirmation box has paid it before the
  // progress box comes. The first box still reads the description and
  // creates its fonts.
  const Times first_bare = RunBare();
  const Times first_box = RunBox(show);
  std::vector<double> box_appear, box_moves, box_close, bare_appear, bare_moves, bare_close;
  for (int i = 0; i < kRuns; ++i) {
    const Times box = RunBox(show);
    const Times bare = RunBare();
    box_appear.push_back(box.appear);
    box_moves.push_back(box.moves);
    box_close.push_back(box.close);
    bare_appear.push_back(bare.appear);
    bare_moves.push_back(bare.moves);
    bare_close.push_back(bare.close);
  }
  FreeLibrary(core);
  DeleteFileW((runtime + L"\\qxlng.dat").c_str());
  RemoveDirectoryW(runtime.c_str());

  const double appear = Median(box_appear), bare = Median(bare_appear);
  std::printf("first bare window of the process:     %7.2f ms to appear\n", first_bare.appear);
  std::printf("first progress box (reads qxdlg.dat): %7.2f ms to appear   (target < 50 ms)\n", first_box.appear);
  std::printf("progress box, median of %d:            %7.2f ms to appear   (target < 50 ms)\n", kRuns, appear);
  std::printf("bare CreateWindowExW window:          %7.2f ms to appear\n", bare);
  std::printf("ratio box / bare:                     %7.2f             (target <= 1.5)\n", appear / bare);
  std::printf("%d bar moves, box:                   %7.2f ms; bare %7.2f ms\n", kMoves, Median(box_moves),
              Median(bare_moves));
  std::printf("close until the thread ended, box:    %7.2f ms; bare %7.2f ms\n", Median(box_close),
              Median(bare_close));
  return 0;
}
