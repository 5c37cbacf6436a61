// QXCore.dll's uninstall log and registry exports under Wine, against the
// prefix's registry and real files. A replay runs on a log begun with
// ManageUninstLog; the whole round trip through the uninstaller's second
// stage is the sample installation's, end to end (tests/e2e).
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "doctest_text.h"
#include "engine/include/launcher_contract.h"
#include "engine_test_support.h"

using namespace enginetest;

namespace {

const std::wstring kKey = L"Software\\qx_log_registry_tests";
const std::wstring kKeyPath = L"HKEY_CURRENT_USER\\" + kKey;
const wchar_t kSharedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The test key, removed with everything below it before and after.
struct TestKey {
  TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
  ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
};

// Shared-file counters named by test paths, removed afterwards.
struct SharedCounters {
  std::vector<std::wstring> names;
  ~SharedCounters() {
    for (const std::wstring& name : names) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSharedKey, name.c_str());
  }
  void Set(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    names.push_back(name);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSharedKey, name.c_str(), type, data, size);
  }
};

void SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const wchar_t* text) {
  RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text, static_cast<DWORD>((wcslen(text) + 1) * 2));
}
bool HasValue(HKEY root, const std::wstring& key, const wchar_t* name) {
  return RegGetValueW(root, key.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}
DWORD DwordOf(const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  RegGetValueW(HKEY_LOCAL_MACHINE, kSharedKey, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}
bool HasKey(const std::wstring& key) {
  qx::UniqueKey open;
  return RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, open.put()) == ERROR_SUCCESS;
}
void MakeKey(const std::wstring& key) {
  qx::UniqueKey made;
  RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made.put(), nullptr);
}

std::wstring TestLibrary(const wchar_t* name) {
  const std::wstring self = SelfPath();
  return self.substr(0, self.rfind(L'\\') + 1) + name;
}
std::wstring Env(const wchar_t* name) {
  wchar_t value[64] = L"";
  GetEnvironmentVariableW(name, value, 64);
  return value;
}

std::vector<std::pair<std::wstring, int>> g_calls;
int WINAPI Record(int kind, const wchar_t* path, int deleted) {
  g_calls.emplace_back(path, kind == 0 ? deleted : -1);
  return 0;
}
// The launcher's answer when it could not schedule a file.
int WINAPI Refuse(int kind, const wchar_t* path, int deleted) {
  Record(kind, path, deleted);
  return deleted ? 0 : qx::contract::kReplayNotScheduled;
}

std::vector<std::wstring> AsideFoldersOf(const std::wstring& path) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW entry;
  qx::UniqueFind listing(FindFirstFileW((path.substr(0, 3) + L"qxmoved*").c_str(), &entry));
  if (listing)
    do found.push_back(entry.cFileName);
    while (FindNextFileW(listing.get(), &entry));
  return found;
}

// An engine with a log begun in a scratch folder that also holds "app".
struct Installer {
  Scratch dir;
  Core core;
  int begun;
  Installer() {
    CreateDirectoryW(dir.file(L"app").c_str(), nullptr);
    core.SetVar(L"TMP", dir.path().c_str());
    core.SetVar(L"APPTITLE", L"Orvella");
    core.SetVar(L"DESTPATH", dir.file(L"app").c_str());
    core.SetVar(L"QXSFXPATH", dir.path().c_str());
    core.SetVar(L"UNINSTFNAME", dir.file(L"app\\uninst.exe").c_str());
    WriteBytes(dir.file(L"qxremove.dat"), "PROGRAM");
    begun = core.ManageUninstLog(0);
  }
  std::wstring Add(int kind, const std::wstring& text) {
    core.AddUninstLog(kind, text.c_str());
    return text;
  }
  // Readable while the engine holds the log open for writing.
  std::string Bytes(const std::wstring& path) {
    qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
  }
};

}  // namespace

TEST_CASE("registry exports: full roots in any case, key trees, expanded values") {
  TestKey cleanup;
  Core core;
  const std::wstring tree = kKey + L"\\Tree";
  MakeKey(tree + L"\\a\\b\\c");
  SetValue(HKEY_CURRENT_USER, tree + L"\\a\\b", L"v", L"1");
  CHECK_EQ(core.QXRegDeleteKey((L"HKCU\\" + tree + L"\\a\\b\\c").c_str()), 0);
  CHECK(HasKey(tree + L"\\a\\b\\c"));
  CHECK_EQ(core.QXRegDeleteKey((kKeyPath + L"\\Tree\\a\\b").c_str()), 0);
  CHECK(HasKey(tree + L"\\a\\b"));
  CHECK_EQ(core.QXRegDeleteKey((L"hkey_current_user\\" + tree + L"\\a\\b\\c").c_str()), 1);
  CHECK(!HasKey(tree + L"\\a\\b\\c"));

  MakeKey(tree + L"\\a\\b\\c");
  MakeKey(tree + L"\\a\\b2");
  CHECK_EQ(core.QXRegDeleteKeysRecursive((L"HKCU\\" + tree).c_str()), 0);
  CHECK(HasKey(tree + L"\\a\\b\\c"));
  CHECK_EQ(core.QXRegDeleteKeysRecursive((L"Hkey_Current_User\\" + tree).c_str()), 0);
  CHECK(!HasKey(tree));
  CHECK(HasKey(kKey));

  const std::wstring values = kKey + L"\\Values";
  SetValue(HKEY_CURRENT_USER, values, nullptr, L"default");
  SetValue(HKEY_CURRENT_USER, values, L"Named", L"x");
  core.SetVar(L"TESTKEY", (kKeyPath + L"\\Values").c_str());
  core.SetVar(L"VN", L"Named");
  CHECK_EQ(core.QXRegDeleteValue(L"%TESTKEY%", L"%VN%"), 1);
  CHECK(!HasValue(HKEY_CURRENT_USER, values, L"Named"));
  CHECK_EQ(core.QXRegDeleteValue(L"%TESTKEY%", L"%VN%"), 0);
  CHECK_EQ(core.QXRegDeleteValue(L"%TESTKEY%", L""), 1);
  CHECK(!HasValue(HKEY_CURRENT_USER, values, nullptr));
  CHECK_EQ(core.QXRegDeleteValue((kKeyPath + L"\\Missing").c_str(), L""), 0);
}

TEST_CASE("QXRegisterServer: entry returns, never returns, is missing; library missing") {
  Core core;
  SetEnvironmentVariableW(L"QX_UNREGISTERED", nullptr);
  const std::wstring returns = TestLibrary(L"selfreg_returns.dll"), hangs = TestLibrary(L"selfreg_hangs.dll");
  const std::wstring none = TestLibrary(L"selfreg_none.dll");
  core.SetVar(L"LIB", returns.c_str());
  CHECK_EQ(core.QXRegisterServer(L"%LIB%", 0, 3000), 1);
  CHECK(Env(L"QX_UNREGISTERED") == L"1");
  CHECK(GetModuleHandleW(returns.c_str()) == nullptr);
  CHECK_EQ(core.QXRegisterServer(none.c_str(), 0, 3000), -2);
  CHECK(GetModuleHandleW(none.c_str()) == nullptr);
  // Any non-zero value registers.
  CHECK_EQ(core.QXRegisterServer(none.c_str(), 2, 3000), 1);
  CHECK(Env(L"QX_REGISTERED") == L"1");
  CHECK_EQ(core.QXRegisterServer(hangs.c_str(), 0, 200), -3);
  CHECK(Env(L"QX_UNREGISTERED") == L"started");
  // The terminated worker's library stays loaded.
  CHECK(GetModuleHandleW(hangs.c_str()) != nullptr);
  CHECK_EQ(core.QXRegisterServer((returns + L".missing").c_str(), 0, 3000), -1);
  // Its import beside it is found: the library's own folder is searched.
  CHECK_EQ(core.QXRegisterServer(TestLibrary(L"sibling\\selfreg_sibling.dll").c_str(), 0, 3000), 1);
  CHECK(Env(L"QX_SIBLING") == L"1");
}

TEST_CASE("log exports: no log, begin, tagless lines, phases outside 0 to 4, abandon") {
  Core bare;
  CHECK_EQ(bare.PerformUninstall(0, Record), -1);
  CHECK_EQ(bare.AddUninstLog(0, L"C:\\a"), -1);
  CHECK_EQ(bare.ManageUninstLog(1), -4);
  CHECK_EQ(bare.ManageUninstLog(2), 0);
  CHECK_EQ(bare.ManageUninstLog(3), 0);

  Installer in;
  CHECK_EQ(in.begun, 0);
  const std::wstring log = in.core.EvalVar(L"%TMPLOG%");
  CHECK(log.rfind(in.dir.file(L"qxu"), 0) == 0);
  in.Add(9, L"%APPTITLE% free text");
  // The file-properties table keeps a file out of the log, only as a file.
  WriteBytes(in.dir.file(L"qxfprop.dat"), "bin\\skip.dll\r\n\r\n\r\n\r\n1\r\n");
  in.core.InitSFX(GetModuleHandleW(nullptr));
  const std::wstring skip = in.Add(0, in.dir.file(L"app\\bin\\skip.dll"));
  in.Add(1, skip);
  g_calls.clear();
  CHECK_EQ(in.core.PerformUninstall(7, Record), 0);
  CHECK_EQ(in.core.PerformUninstall(-1, Record), 0);
  CHECK(g_calls.empty());
  CHECK_EQ(in.Bytes(log), "[QXUninst]\r\n30000\r\nOrvella\r\n0\r\n" + Utf8(in.dir.file(L"app")) + "\r\nOrvella free text\r\n#folder\r\n" + Utf8(skip) + "\r\n");
  CHECK_EQ(in.core.ManageUninstLog(2), 0);
  CHECK(!FileExists(log));
  CHECK_EQ(in.core.AddUninstLog(0, L"C:\\a"), -1);
}

TEST_CASE("file phase: a path once, missing files and folders, shared counters kept or counted as missing") {
  // Called back once for each file entry but those kept by their counter; a
  // folder at a file's path is a logged item that could not be removed.
  Installer in;
  SharedCounters counters;
  const std::wstring plain = in.Add(0, in.dir.file(L"plain.txt")), missing = in.Add(0, in.dir.file(L"missing.txt"));
  in.Add(0, plain);
  const std::wstring three = in.Add(4, in.dir.file(L"three.dll")), text = in.Add(4, in.dir.file(L"text.dll"));
  const std::wstring folder = in.Add(0, in.dir.file(L"app"));
  for (const std::wstring& file : {plain, three, text}) WriteBytes(file, "x");
  const DWORD count3 = 3;
  counters.Set(three, REG_DWORD, &count3, 4);
  counters.Set(text, REG_SZ, L"1", 4);

  g_calls.clear();
  CHECK_EQ(in.core.PerformUninstall(0, Record), 0);
  const std::vector<std::pair<std::wstring, int>> expected = {{plain, 1}, {missing, 1}, {text, 1}, {folder, 0}};
  CHECK_EQ(g_calls.size(), expected.size());
  for (const auto& call : expected) CHECK(std::count(g_calls.begin(), g_calls.end(), call) == 1);
  CHECK((FileExists(three) && DwordOf(three) == 2));
  CHECK((!FileExists(text) && HasValue(HKEY_LOCAL_MACHINE, kSharedKey, text.c_str())));
  CHECK((!FileExists(plain) && FileExists(folder)));
  CHECK(in.core.Eval(L"%NOTREMOVED%") == u"1");
  CHECK(in.core.Eval(L"%RESTARTNEEDED%") == u"%RESTARTNEEDED%");
}

TEST_CASE("a held file, in any phase order: moved aside and reported there, or failed unreported in place") {
  struct Run {
    std::vector<int> phases;
    ReplayCallback callback;
    DWORD sharing;
    const char16_t *restart, *not_removed;
  };
  constexpr DWORD kDeleteSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
  const Run runs[] = {// Held without delete sharing, it can be neither deleted nor renamed; and
                      // Wine shows every folder as its user's own, so it may not wait in place.
                      {{0, 1, 3, 2, 4}, Record, FILE_SHARE_READ, u"%RESTARTNEEDED%", u"1"},
                      // Deleted while held with delete sharing, its name stays: it is moved.
                      {{4, 2, 3, 0, 1}, Record, kDeleteSharing, u"1", u"%NOTREMOVED%"},
                      {{0, 1}, Refuse, kDeleteSharing, u"%RESTARTNEEDED%", u"1"}};
  for (const Run& run : runs) {
    Installer in;
    const std::wstring sub = in.Add(1, in.dir.file(L"app\\sub"));
    CreateDirectoryW(sub.c_str(), nullptr);
    const std::wstring plain = in.Add(0, sub + L"\\plain.txt"), held = in.Add(0, sub + L"\\held.txt");
    const std::wstring missing = in.Add(0, sub + L"\\missing.txt");
    for (const std::wstring& file : {plain, held}) WriteBytes(file, "x");
    const std::vector<std::wstring> aside_before = AsideFoldersOf(held);
    const bool moves = run.sharing == kDeleteSharing;
    {
      qx::UniqueFile holder(CreateFileW(held.c_str(), GENERIC_READ, run.sharing, nullptr, OPEN_EXISTING, 0, nullptr));
      REQUIRE(holder.valid());
      g_calls.clear();
      for (int phase : run.phases) CHECK_EQ(in.core.PerformUninstall(phase, run.callback), 0);
      CHECK(FileExists(held) != moves);
    }
    std::sort(g_calls.begin(), g_calls.end());
    // Each file entry once; a moved file under its new name.
    const auto reported = std::find_if(g_calls.begin(), g_calls.end(), [](const auto& call) { return call.second == 0; });
    CHECK((reported != g_calls.end()) == moves);
    if (reported != g_calls.end()) {
      CHECK(reported->first != held);
      g_calls.erase(reported);
    }
    CHECK(g_calls == std::vector<std::pair<std::wstring, int>>{{missing, 1}, {plain, 1}});
    CHECK(!FileExists(plain));
    CHECK((AsideFoldersOf(held) != aside_before) == moves);
    CHECK(in.core.Eval(L"%RESTARTNEEDED%") == run.restart);
    CHECK(in.core.Eval(L"%NOTREMOVED%") == run.not_removed);
  }
}

TEST_CASE("finish: the uninstaller and its log beside it, an older log replaced or appended") {
  Installer in;
  const std::wstring program = in.dir.file(L"app\\uninst.exe"), log = in.dir.file(L"app\\uninst.log");
  const std::string header = "[QXUninst]\r\n30000\r\nOrvella\r\n0\r\n" + Utf8(in.dir.file(L"app")) + "\r\n";
  auto entry = [](const std::wstring& path) { return "#file\r\n" + Utf8(path) + "\r\n"; };
  const std::string tail = entry(program) + entry(log);
  in.core.SetVar(L"QXSFXPATH", in.dir.file(L"nowhere").c_str());
  CHECK_EQ(in.core.ManageUninstLog(1), -3);
  in.core.SetVar(L"QXSFXPATH", in.dir.path().c_str());
  const std::wstring a = in.Add(0, in.dir.file(L"app\\a.txt"));
  const std::wstring temporary = in.core.EvalVar(L"%TMPLOG%");
  CHECK_EQ(in.core.ManageUninstLog(1), 0);
  CHECK_EQ(in.Bytes(program), "PROGRAM");
  const std::string first = header + entry(a) + tail;
  CHECK_EQ(in.Bytes(log), first);
  CHECK(!FileExists(temporary));
  CHECK_EQ(in.core.AddUninstLog(0, a.c_str()), -1);

  // A second installation into the same folder adds its log in front.
  in.core.SetVar(L"QXUNINSTADD", L"1");
  CHECK_EQ(in.core.ManageUninstLog(0), 0);
  const std::wstring b = in.Add(0, in.dir.file(L"app\\b.txt"));
  CHECK_EQ(in.core.ManageUninstLog(1), 0);
  CHECK_EQ(in.Bytes(log), header + entry(b) + tail + first);
  // Anything but exactly "1" replaces it.
  in.core.SetVar(L"QXUNINSTADD", L"1 ");
  CHECK_EQ(in.core.ManageUninstLog(0), 0);
  CHECK_EQ(in.core.ManageUninstLog(1), 0);
  CHECK_EQ(in.Bytes(log), header + tail);

  // A folder in the log's place cannot be copied over.
  in.core.SetVar(L"UNINSTFNAME", in.dir.file(L"app\\x.exe").c_str());
  CreateDirectoryW(in.dir.file(L"app\\x.log").c_str(), nullptr);
  CHECK_EQ(in.core.ManageUninstLog(0), 0);
  CHECK_EQ(in.core.ManageUninstLog(1), -2);
}

int main(int argc, char** argv) {
  UseDeliverablesFolder();
  return doctest::Context(argc, argv).run();
}
