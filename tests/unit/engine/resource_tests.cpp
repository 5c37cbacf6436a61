// QXCore.dll gives back what it takes: a whole uninstallation in one process
// (start-up, the second stage over a real log, the progress box shown and
// closed, the five phases over real files, keys and an INI file) leaves the
// process's handle, GDI and USER object counts as they were once the library
// is unloaded. The second stage needs "/u" on the command line, so it runs in
// a child; the child does the uninstallation twice and measures the second,
// so that what system libraries keep after their first use does not count.
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>

#include "doctest_text.h"
#include "engine_test_support.h"

using namespace enginetest;

namespace {

const wchar_t kChildOut[] = L"QX_RESOURCE_OUT";
const wchar_t kKey[] = L"Software\\qx_resource_tests";

struct Counts {
  unsigned handles, gdi, user;
};

// Wine answers GetProcessHandleCount and GetGuiResources with 0, so where they
// do, every value a handle can have is tried instead. Wine takes a GDI or USER
// handle's low word alone as the handle.
Counts Measure() {
  Counts counts{};
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles) {
    counts.handles = handles;
  } else {
    DWORD flags;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
      counts.handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  }
  counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (counts.gdi || counts.user) return counts;
  const DWORD self = GetCurrentProcessId();
  for (uintptr_t value = 1; value < 0x10000; ++value) {
    counts.gdi += GetObjectType(reinterpret_cast<HGDIOBJ>(value)) ? 1 : 0;
    DWORD owner = 0;
    if (value & 1) continue;
    if (GetWindowThreadProcessId(reinterpret_cast<HWND>(value), &owner) && owner == self) ++counts.user;
    else if (IsMenu(reinterpret_cast<HMENU>(value))) ++counts.user;
  }
  return counts;
}

std::wstring Text(const Counts& c) {
  return std::to_wstring(c.handles) + L" " + std::to_wstring(c.gdi) + L" " + std::to_wstring(c.user);
}

HWND g_box = nullptr;
bool g_closed = false;
int WINAPI OnBox(int event, HWND dialog, int) {
  if (event == 0) g_box = dialog;
  if (event == 2) g_closed = true;
  return 0;
}
int WINAPI OnFile(int, const wchar_t*, int) { return 0; }

template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  return done();
}

// An installed application in |app| with its log beside |app|\uninst.exe.
void Install(const std::wstring& app) {
  CreateDirectoryW(app.c_str(), nullptr);
  WriteBytes(app + L"\\readme.txt", "x");
  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Size", REG_SZ, L"1", 4);
  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Keep", REG_SZ, L"1", 4);
  const std::wstring ini = app + L"\\settings.ini", key = std::wstring(L"HKEY_CURRENT_USER\\") + kKey;
  WriteBytes(ini, "[Main]\r\nSize=1\r\n");
  WriteBytes(app + L"\\uninst.log", Utf8(L"[QXUninst]\r\n30000\r\nOrvella\r\n1033\r\n" + app + L"\r\n#file\r\n" + app +
                                         L"\\readme.txt\r\n#file\r\n" + ini + L"\r\n#folder\r\n" + app +
                                         L"\r\n#regval\r\n\"" + key + L"\" Size\r\n#regkey\r\n" + key +
                                         L"\r\n#inikey\r\n\"" + ini + L"\" Main Size\r\n"));
}

// One uninstallation as the second stage runs it; a line of results.
std::wstring Uninstall() {
  std::wstring report;
  Scratch runtime;
  {
    Core core;
    WriteBytes(runtime.file(L"qxlng.dat"), PackageFile("qxlng.dat"));
    WriteBytes(runtime.file(L"qxdlg.dat"), PackageFile("qxdlg.dat"));
    core.SetVar(L"APPTITLE", L"Orvella");
    core.SetVar(L"ARCNAME", L"uninst.exe");
    core.SetVar(L"QXSFXPATH", runtime.dir().c_str());
    core.SetVar(L"CUR", runtime.path().c_str());
    core.SetVar(L"ARCPATH", runtime.path().c_str());
    core.InitSFX(GetModuleHandleW(nullptr));
    report += L"init=" + std::to_wstring(core.InitUninstall());
    g_box = nullptr;
    g_closed = false;
    core.ShowProgressBox(&OnBox);
    // The counting sees the box's windows.
    report += L" box=" + std::to_wstring(IsWindowVisible(g_box) && Measure().user > 1);
    for (int phase : {0, 1, 3, 2, 4}) report += L" " + std::to_wstring(core.PerformUninstall(phase, &OnFile));
    SendMessageW(g_box, 1038, 0, 0);
    report += L" closed=" + std::to_wstring(WaitFor([] { return g_closed && !IsWindow(g_box); }));
  }
  // The box's thread holds the library until it ends.
  report += L" unloaded=" + std::to_wstring(WaitFor([] { return !GetModuleHandleW(L"QXCore.dll"); }));
  return report;
}

int ResourceChild(const wchar_t* out, const std::wstring& app) {
  Install(app);
  std::wstring report = Uninstall() + L"\n";
  Install(app);
  const Counts before = Measure();
  report += Uninstall() + L"\n";
  const Counts after = Measure();
  qx::UniqueKey key;
  const bool removed = !FileExists(app + L"\\readme.txt") &&
                       RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS;
  report += L"removed=" + std::to_wstring(removed) + L"\n" + Text(before) + L"\n" + Text(after) + L"\n";
  return WriteBytes(out, Utf8(report)) ? 0 : 3;
}

}  // namespace

namespace {

unsigned ThreadCount() {
  qx::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  unsigned count = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  return count;
}

int WINAPI CloseAtOnce(int event, HWND dialog, int) {
  if (event == 0) PostMessageW(dialog, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

// The box's thread tears its dialog down while this thread already builds the
// next one: the engine's dialog state is changed on this thread only.
TEST_CASE("a progress box closing while the next dialog opens, 100 times, leaves the handles as they were") {
  Scratch runtime;
  Core core;
  WriteBytes(runtime.file(L"qxlng.dat"), PackageFile("qxlng.dat"));
  WriteBytes(runtime.file(L"qxdlg.dat"), PackageFile("qxdlg.dat"));
  core.SetVar(L"QXSFXPATH", runtime.path().c_str());
  core.InitSFX(GetModuleHandleW(nullptr));
  int rounds = 0;
  auto round = [&] {
    g_box = nullptr;
    core.ShowProgressBox(&OnBox);
    const HWND box = g_box;
    rounds += core.QXDlgGetDlgItem(static_cast<int>(reinterpret_cast<INT_PTR>(box)), 3) != nullptr;
    SendMessageW(box, 1038, 0, 0);
    return box;
  };
  // The first round of each kind of dialog is not counted: system libraries
  // keep what they make on first use. A modal dialog is built while the last
  // box goes.
  HWND last = round();
  CHECK_EQ(core.ShowDialogBox(L"dlgprogress", &CloseAtOnce), 2);
  WaitFor([&] { return !IsWindow(last); });
  const Counts before = Measure();
  const unsigned threads = ThreadCount();
  for (int i = 0; i < 100; ++i) last = round();
  CHECK_EQ(core.ShowDialogBox(L"dlgprogress", &CloseAtOnce), 2);
  CHECK_EQ(rounds, 101);
  // Every box's thread has ended, with the window objects the system keeps
  // for it.
  CHECK(WaitFor([&] { return !IsWindow(last) && ThreadCount() <= threads; }));
  const Counts after = Measure();
  MESSAGE(doctest::String(("before " + Utf8(Text(before)) + ", after " + Utf8(Text(after))).c_str()));
  // Wine's own DCs and regions for windows come and go with its threads'
  // timing (the same before this engine kept its dialog state on one
  // thread), so GDI objects are reported, not compared.
  CHECK_EQ(after.handles, before.handles);
  CHECK_EQ(after.user, before.user);
  CHECK(core.QXDlgGetDlgItem(static_cast<int>(reinterpret_cast<INT_PTR>(last)), 3) == nullptr);
}

TEST_CASE("a whole uninstallation leaves handle, GDI and USER object counts as they were") {
  Scratch dir;
  const std::wstring program = dir.file(L"app\\uninst.exe"), out = dir.file(L"report.txt");
  REQUIRE(RunSelfAsChild(kChildOut, out, L" /u \"" + program + L"\"", 60000));
  const std::wstring report = FromUtf8(ReadBytes(out));
  RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
  const std::wstring round = L"init=1 box=1 0 0 0 0 0 closed=1 unloaded=1\n";
  REQUIRE(report.rfind(round + round + L"removed=1\n", 0) == 0);
  const size_t counts = (round + round + L"removed=1\n").size(), split = report.find(L'\n', counts);
  const std::wstring before = report.substr(counts, split - counts), after = report.substr(split + 1);
  MESSAGE(doctest::String(("handles, GDI and USER objects: " + Utf8(before)).c_str()));
  CHECK(before + L"\n" == after);
}

int main(int argc, char** argv) {
  UseDeliverablesFolder();
  wchar_t out[MAX_PATH];
  if (GetEnvironmentVariableW(kChildOut, out, MAX_PATH)) {
    const std::wstring dir(out);
    return ResourceChild(out, dir.substr(0, dir.rfind(L'\\')) + L"\\app");
  }
  return doctest::Context(argc, argv).run();
}
