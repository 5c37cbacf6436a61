// Dialogs under Wine: the progress box on its thread, modal dialog runs, the
// controls a description builds and their lookup by number. Sizes follow the
// display's dots per inch (tests/unit/engine/dialog_dpi.sh runs the progress
// box case at 96 and 120).
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <string>
#include <vector>

#include "doctest_text.h"
#include "engine_test_support.h"

using namespace enginetest;

namespace {

struct Event {
  int event;
  HWND dialog;
  int value;
  DWORD thread;
};

// Shared with the box's thread.
SRWLOCK g_lock = SRWLOCK_INIT;
std::vector<Event> g_events;
// The callback's result by event.
int g_answers[4] = {};
// Runs on the callback's thread at event 0, inside the callback.
void (*g_on_built)(HWND dialog) = nullptr;

int WINAPI Record(int event, HWND dialog, int value) {
  AcquireSRWLockExclusive(&g_lock);
  g_events.push_back(Event{event, dialog, value, GetCurrentThreadId()});
  ReleaseSRWLockExclusive(&g_lock);
  if (event == 0 && g_on_built) g_on_built(dialog);
  return event >= 0 && event < 4 ? g_answers[event] : 0;
}

std::vector<Event> Events() {
  AcquireSRWLockExclusive(&g_lock);
  std::vector<Event> copy = g_events;
  ReleaseSRWLockExclusive(&g_lock);
  return copy;
}

void Reset(int enter_answer = 0, void (*on_built)(HWND) = nullptr) {
  AcquireSRWLockExclusive(&g_lock);
  g_events.clear();
  ReleaseSRWLockExclusive(&g_lock);
  g_answers[3] = enter_answer;
  g_on_built = on_built;
}

// Waits up to two seconds for |done|, handling this thread's messages.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  return done();
}

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

int DisplayDpi() {
  HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int dpi = GetDeviceCaps(display, LOGPIXELSY);
  DeleteDC(display);
  return dpi;
}

int Scaled(int length) { return static_cast<int>(std::lround(length * DisplayDpi() / 96.0)); }

// A fresh engine started in a runtime folder that holds the package's
// language table and |description| as "qxdlg.dat" (none when empty).
struct Engine {
  Scratch folder;
  Core core;
  explicit Engine(const std::string& description, HMODULE launcher = GetModuleHandleW(nullptr)) {
    WriteBytes(folder.file(L"qxlng.dat"), PackageFile("qxlng.dat"));
    if (!description.empty()) WriteBytes(folder.file(L"qxdlg.dat"), description);
    core.SetVar(L"QXSFXPATH", folder.path().c_str());
    core.SetVar(L"APPTITLE", L"Orvella");
    core.InitSFX(launcher);
  }
};

Core* g_core = nullptr;

// With QX_SCREENS set (a folder), saves the window as it is on the screen
// as "<name>.bmp" there, for a person to look at.
void SaveScreen(HWND window, const std::wstring& name) {
  wchar_t folder[MAX_PATH];
  if (!GetEnvironmentVariableW(L"QX_SCREENS", folder, MAX_PATH)) return;
  Sleep(500);  // the box's thread paints it meanwhile
  RECT r;
  GetWindowRect(window, &r);
  BITMAPINFOHEADER header{sizeof header, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  const DWORD size = ((header.biWidth * 3 + 3) & ~3) * header.biHeight;
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
  BITMAPFILEHEADER file{0x4D42, offset + size, 0, 0, offset};
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
  bytes.append(static_cast<const char*>(bits), size);
  WriteBytes(std::wstring(folder) + L"\\" + name + L".bmp", bytes);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Ends the box with message 1038 and waits for event 2 and the window's end.
bool CloseBox(HWND box) {
  SendMessageW(box, WM_USER + 14, 0, 0);
  return WaitFor([&] { return !Events().empty() && Events().back().event == 2 && !IsWindow(box); });
}

// The library stays loaded until the box's thread has ended.
bool Unloaded() {
  return WaitFor([] { return GetModuleHandleW(L"QXCore.dll") == nullptr; });
}

}  // namespace

TEST_CASE("progress box: the package's box, its controls by number and its size at this dpi") {
  std::printf("  dpi %d\n", DisplayDpi());
  HMODULE launcher = LoadLibraryExW(qxtest::Deliverable(L"uninstall.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
  {
    Engine engine(PackageFile("qxdlg.dat"), launcher);
    Reset();
    CHECK_EQ(engine.core.ShowProgressBox(&Record), 0);
    std::vector<Event> events = Events();
    CHECK_EQ(events.size(), size_t(1));
    if (events.size() != 1) return;
    const HWND box = events[0].dialog;
    CHECK_EQ(events[0].event, 0);
    CHECK(events[0].thread != GetCurrentThreadId());
    CHECK(IsWindowVisible(box));
    CHECK(Text(box) == L"Orvella");
    CHECK((GetWindowLongW(box, GWL_STYLE) & WS_SYSMENU) != 0);
    CHECK(SendMessageW(box, WM_GETICON, ICON_SMALL, 0) != 0);
    CHECK(!FileExists(engine.folder.file(L"qxdlg.dat")));

    const int handle = static_cast<int>(reinterpret_cast<INT_PTR>(box));
    HWND bar = engine.core.QXDlgGetDlgItem(handle, 3);
    HWND cancel = engine.core.QXDlgGetDlgItem(handle, 0);
    HWND container = engine.core.QXDlgGetDlgItem(handle, 5);
    CHECK(ClassOf(bar) == L"msctls_progress32");
    CHECK(Text(cancel) == L"&Cancel");
    CHECK(Text(engine.core.QXDlgGetDlgItem(handle, 4)) == L"Uninstalling");
    CHECK(engine.core.QXDlgGetDlgItem(handle, 7) == nullptr);
    CHECK(GetParent(bar) == container);
    CHECK(GetParent(cancel) == box);

    RECT client, button;
    GetClientRect(box, &client);
    GetWindowRect(cancel, &button);
    CHECK_EQ(client.right, Scaled(400));
    CHECK_EQ(client.bottom, Scaled(200));
    CHECK_EQ(button.right - button.left, Scaled(81));
    CHECK_EQ(button.bottom - button.top, Scaled(25));
    SendMessageW(bar, WM_USER + 2, 40, 0);
    SaveScreen(box, L"progress-" + std::to_wstring(DisplayDpi()));

    // The close box is ignored; a click of Cancel reaches the callback, and
    // a result of 0 leaves the box open.
    SendMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(cancel, BM_CLICK, 0, 0);
    Sleep(300);
    events = Events();
    CHECK(IsWindow(box));
    CHECK_EQ(events.size(), size_t(2));
    if (events.size() == 2) {
      CHECK_EQ(events[1].event, 1);
      CHECK_EQ(events[1].value, 0);
    }

    CHECK(CloseBox(box));
    events = Events();
    CHECK_EQ(events.back().value, 0);
    CHECK(events.back().thread == events[0].thread);
    CHECK(engine.core.QXDlgGetDlgItem(handle, 3) == nullptr);

    // A second box comes from the lines kept in memory; since the first
    // close request its close box closes it.
    Reset();
    engine.core.ShowProgressBox(&Record);
    CHECK_EQ(Events().size(), size_t(1));
    if (Events().size() == 1) {
      const HWND second = Events()[0].dialog;
      PostMessageW(second, WM_SYSCOMMAND, SC_CLOSE, 0);
      CHECK(WaitFor([&] { return !IsWindow(second); }));
      CHECK_EQ(Events().back().event, 2);
    }
  }
  CHECK(Unloaded());
  FreeLibrary(launcher);
}

TEST_CASE("progress box: a failing build never calls the callback; a later one reads the file") {
  {
    Engine engine("");
    Reset();
    CHECK_EQ(engine.core.ShowProgressBox(&Record), 0);
    CHECK(Events().empty());
    WriteBytes(engine.folder.file(L"qxdlg.dat"), PackageFile("qxdlg.dat"));
    engine.core.ShowProgressBox(&Record);
    CHECK_EQ(Events().size(), size_t(1));
    if (!Events().empty()) CHECK(CloseBox(Events()[0].dialog));
  }
  CHECK(Unloaded());
}

namespace {

HWND g_message_box = nullptr;
std::wstring g_message_caption, g_message_text;

DWORD WINAPI AnswerMessageBox(void*) {
  HWND box = nullptr;
  for (int i = 0; i < 300 && !box; ++i, Sleep(10)) box = FindWindowW(L"#32770", L"Orvella");
  if (!box) return 0;
  g_message_box = box;
  g_message_caption = Text(box);
  g_message_text = Text(GetDlgItem(box, 0xFFFF));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  return 0;
}

void CloseFromCloseBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

}  // namespace

TEST_CASE("dialog box: a missing section gives its message and 4; the close box gives 2") {
  Engine engine(PackageFile("qxdlg.dat"));
  Reset();
  qx::UniqueHandle watcher(CreateThread(nullptr, 0, &AnswerMessageBox, nullptr, 0, nullptr));
  CHECK_EQ(engine.core.ShowDialogBox(L"nosuch", &Record), 4);
  WaitForSingleObject(watcher.get(), 5000);
  CHECK(g_message_box != nullptr);
  CHECK(g_message_caption == L"Orvella");
  CHECK(g_message_text == L"Dialog box not created: nosuch");
  CHECK(Events().empty());

  Reset(0, &CloseFromCloseBox);
  CHECK_EQ(engine.core.ShowDialogBox(L"DLGPROGRESS", &Record), 2);
  std::vector<Event> events = Events();
  CHECK_EQ(events.size(), size_t(2));
  if (events.size() == 2) {
    CHECK_EQ(events[1].event, 2);
    CHECK_EQ(events[1].value, 2);
    CHECK(events[1].thread == GetCurrentThreadId());
    CHECK(!IsWindow(events[1].dialog));
  }
}

namespace {

const char kCustom[] =
    "[custom] a description of the flags\r\nC\r\n"
    "#QX.Dlg\r\n300\r\n200\r\nCustom\r\n"
    "#QX.Edit\r\n10\r\n10\r\n100\r\n20\r\ntext\r\n1\r\nPR\r\n"
    "#QX.Chk\r\n10\r\n40\r\n100\r\n20\r\ncheck\r\n2\r\nCR\r\n"
    "#QX.Lab\r\n10\r\n70\r\n100\r\n20\r\nlabel\r\n3\r\n0\r\nEF\r\n"
    "#QX.Img\r\n10\r\n90\r\n20\r\n20\r\n4\r\n%QXSFXPATH%\\missing.bmp\r\nB\r\n"
    "#QX.Cont\r\n150\r\n10\r\n140\r\n100\r\n5\r\n16777215\r\nS\r\n"
    "#QX.LView\r\n0\r\n0\r\n140\r\n60\r\n6\r\n%QXSFXPATH%\\states.bmp\r\n"
    "#EndCont\r\n"
    "#QX.Rich\r\n10\r\n110\r\n280\r\n60\r\n7\r\n%QXSFXPATH%\\lic_%SELLANG%.rtf\r\nRF\r\n"
    "#QX.But\r\n10\r\n175\r\n60\r\n20\r\nOK\r\n8\r\nD\r\n"
    "#EndDlg\r\n";

struct Seen {
  LONG edit_style, check_style, label_style, dialog_style;
  bool image, list_in_container, rich_in_holder;
  std::wstring rich_text;
  int rows[2];
  int after_clicks[2];
} g_seen;

int RowState(HWND list, int row) {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

void ClickRow(HWND dialog, HWND list, int row) {
  LVITEMW item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  NMHDR click{list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), static_cast<UINT>(NM_CLICK)};
  SendMessageW(dialog, WM_NOTIFY, click.idFrom, reinterpret_cast<LPARAM>(&click));
}

void InspectCustom(HWND dialog) {
  const int handle = static_cast<int>(reinterpret_cast<INT_PTR>(dialog));
  auto item = [&](int number) { return g_core->QXDlgGetDlgItem(handle, number); };
  g_seen.dialog_style = GetWindowLongW(dialog, GWL_STYLE);
  g_seen.edit_style = GetWindowLongW(item(1), GWL_STYLE);
  g_seen.check_style = GetWindowLongW(item(2), GWL_STYLE);
  g_seen.label_style = GetWindowLongW(item(3), GWL_STYLE);
  g_seen.image = item(4) != nullptr;
  g_seen.list_in_container = GetParent(item(6)) == item(5);
  g_seen.rich_in_holder = GetParent(item(7)) != dialog && GetParent(GetParent(item(7))) == dialog;
  g_seen.rich_text = Text(item(7));

  HWND list = item(6);
  g_core->AddDlgComponent(L"Program", L"The program", L"%A%", 0);
  g_core->AddDlgComponent(L"Help", L"Its help", L"%B%", 2);
  g_seen.rows[0] = RowState(list, 0);
  g_seen.rows[1] = RowState(list, 1);
  ClickRow(dialog, list, 0);
  ClickRow(dialog, list, 1);
  g_seen.after_clicks[0] = RowState(list, 0);
  g_seen.after_clicks[1] = RowState(list, 1);
  // Enter ends the run through the callback's event 3.
  PostMessageW(item(1), WM_KEYDOWN, VK_RETURN, 0);
}

}  // namespace

TEST_CASE("dialog box: flag letters, containers, rich text, component rows and the Enter key") {
  Engine engine(kCustom);
  g_core = &engine.core;
  WriteBytes(engine.folder.file(L"lic_Deutsch.rtf"), "");
  WriteBytes(engine.folder.file(L"lic_English.rtf"), "{\\rtf1 License text}");
  engine.core.SetVar(L"SELLANG", L"Deutsch");
  engine.core.SetVar(L"QXDEFLANGNAME", L"English");
  engine.core.SetVar(L"A", L"1");
  CHECK_EQ(engine.core.AddDlgComponent(L"none", L"no list", L"%A%", 0), 0);

  Reset(7, &InspectCustom);
  CHECK_EQ(engine.core.ShowDialogBox(L"custom", &Record), 7);
  std::vector<Event> events = Events();
  CHECK_EQ(events.size(), size_t(5));
  if (events.size() == 5) {
    CHECK_EQ(events[1].event, 1);
    CHECK_EQ(events[1].value, 6);
    CHECK_EQ(events[3].event, 3);
    CHECK_EQ(events[4].event, 2);
    CHECK_EQ(events[4].value, 7);
  }
  CHECK(!(g_seen.dialog_style & WS_SYSMENU));
  CHECK((g_seen.edit_style & ES_READONLY) != 0);
  CHECK(!(g_seen.edit_style & ES_PASSWORD));
  CHECK_EQ(g_seen.check_style & (BS_RIGHT | BS_CENTER), BS_RIGHT);
  CHECK_EQ(g_seen.label_style & (SS_TYPEMASK | SS_SUNKEN), SS_CENTER);
  CHECK(!g_seen.image);
  CHECK(g_seen.list_in_container);
  CHECK(g_seen.rich_in_holder);
  CHECK(g_seen.rich_text == L"License text");
  CHECK_EQ(g_seen.rows[0], 1);
  CHECK_EQ(g_seen.rows[1], 2);
  CHECK_EQ(g_seen.after_clicks[0], 0);
  CHECK_EQ(g_seen.after_clicks[1], 2);
  CHECK(engine.core.Eval(L"%A%") == u"0");
  CHECK(engine.core.Eval(L"%B%") == u"%B%");
  CHECK_EQ(engine.core.AddDlgComponent(L"late", L"after the dialog", L"%A%", 0), 0);
  g_core = nullptr;
}

int main(int argc, char** argv) {
  UseDeliverablesFolder();
  return doctest::Context(argc, argv).run();
}
