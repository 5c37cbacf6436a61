// The engine's start-up and helper exports under Wine: the .def files against
// the one declaration in qxcore.h, the export table, InitUninstall through
// engine_host (a stand-in for the launcher), the file properties, and the
// text, file and program helpers.
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "doctest_text.h"
#include "engine_test_support.h"

using namespace enginetest;

namespace {

using Block = std::map<std::string, std::string>;

std::wstring TestFolder() {
  const std::wstring self = SelfPath();
  return self.substr(0, self.rfind(L'\\'));
}

std::wstring HostPath() { return TestFolder() + L"\\engine_host.exe"; }

std::vector<Block> ParseReport(const std::string& bytes) {
  std::vector<Block> blocks;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(at, end - at);
    at = end + 1;
    if (line == "run") {
      blocks.emplace_back();
    } else if (!blocks.empty()) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) blocks.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return blocks;
}

std::vector<Block> ReadReport(const std::wstring& path) {
  std::string bytes;
  ReadBytes(path, bytes);
  return ParseReport(bytes);
}

// Starts |program| with the command line |command| and the host's
// environment; waits for it when |wait| and gives its exit code.
DWORD Run(const std::wstring& program, std::wstring command, const std::wstring& report, const wchar_t* title,
          bool wait = true) {
  SetEnvironmentVariableW(L"QX_HOST_REPORT", report.c_str());
  SetEnvironmentVariableW(L"QX_HOST_TITLE", title);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"QX_HOST_REPORT", nullptr);
  SetEnvironmentVariableW(L"QX_HOST_TITLE", nullptr);
  if (!started) return 0xDEAD;
  qx::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (!wait) return 0;
  if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) return 0xBEEF;
  DWORD code = 0xDEAD;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

// The second stage: engine_host with "/u" and the installed program's path.
struct SecondStage {
  int result;
  Block report;
};

SecondStage RunSecondStage(const Scratch& dir, const std::string& log, const wchar_t* title = nullptr) {
  if (!log.empty()) WriteBytes(dir.file(L"uninst.log"), log);
  const std::wstring report = dir.file(L"report.txt");
  DeleteFileW(report.c_str());
  const std::wstring command = L"\"" + HostPath() + L"\" /u \"" + dir.file(L"uninst.exe") + L"\"";
  SecondStage stage{static_cast<int>(Run(HostPath(), command, report, title)), {}};
  std::vector<Block> blocks = ReadReport(report);
  if (blocks.size() == 1) stage.report = blocks[0];
  return stage;
}

std::string Narrow(const std::wstring& text) { return Utf8(text); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// The names in a loaded module's export directory.
std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  auto base = reinterpret_cast<const BYTE*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!entry.VirtualAddress) return names;
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + rvas[i]));
  return names;
}

uint32_t ReferenceCrc(const std::string& bytes) {
  using RtlComputeCrc32Fn = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
  auto crc = reinterpret_cast<RtlComputeCrc32Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32")));
  return crc ? crc(0, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<INT>(bytes.size())) : 0;
}

std::string Hex(uint32_t value) {
  char text[16];
  wsprintfA(text, "%X", value);
  return text;
}

// The byte count of a stdcall function's arguments, all of them 32-bit.
template <typename Function>
struct Arity;
template <typename Result, typename... Arguments>
struct Arity<Result(WINAPI*)(Arguments...)> {
  static constexpr int kBytes = 4 * static_cast<int>(sizeof...(Arguments));
};

struct Declared {
  const char* name;
  int bytes;
};

#define QX_DECLARED(name) {#name, Arity<decltype(&::name)>::kBytes},
const Declared kDeclared[] = {QX_ENGINE_EXPORTS(QX_DECLARED)};
#undef QX_DECLARED

const Declared* FindDeclared(const std::string& name) {
  for (const Declared& declared : kDeclared)
    if (name == declared.name) return &declared;
  return nullptr;
}

// An "EXPORTS" line of a .def file: "Name@bytes"; bytes is -1 without "@".
struct DefEntry {
  std::string name;
  int bytes;
};

std::vector<DefEntry> ReadDef(const char* linux_path) {
  std::string text;
  CHECK(ReadBytes(WinePath(linux_path), text));
  std::vector<DefEntry> entries;
  bool in_exports = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == ';') continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    if (line == "EXPORTS") {
      in_exports = true;
    } else if (line.compare(0, 7, "LIBRARY") == 0) {
      in_exports = false;
    } else if (in_exports) {
      const size_t sign = line.find('@');
      entries.push_back({line.substr(0, sign),
                         sign == std::string::npos ? -1 : std::atoi(line.c_str() + sign + 1)});
    }
  }
  return entries;
}

const char kValidLog[] = "[QXUninst]\r\n1\r\nOrvella_Installation\r\n1033\r\nC:\\Program Files\\Orvella\r\n"
                         "[Files]\r\nC:\\Program Files\\Orvella\\app.exe\r\n";

}  // namespace

TEST_CASE("the .def files: declared names, 4 bytes per parameter of the declaration") {
  for (const char* path : {QX_ENGINE_DEF, QX_LAUNCHER_DEF}) {
    INFO("in " << path);
    const std::vector<DefEntry> entries = ReadDef(path);
    CHECK(!entries.empty());
    for (const DefEntry& entry : entries) {
      INFO(entry.name);
      const Declared* declared = FindDeclared(entry.name);
      CHECK(declared != nullptr);
      if (declared) CHECK_EQ(entry.bytes, declared->bytes);
    }
  }
}

TEST_CASE("export table: exactly the names of QXCore.def, plain and undecorated") {
  Core core;
  CHECK(core.loaded());
  if (!core.loaded()) return;
  std::set<std::string> listed;
  for (const DefEntry& entry : ReadDef(QX_ENGINE_DEF)) {
    listed.insert(entry.name);
    INFO(entry.name);
    CHECK((GetProcAddress(core.module(), entry.name.c_str()) != nullptr));
  }
  const std::vector<std::string> names = ExportNames(core.module());
  CHECK_EQ(names.size(), listed.size());
  for (const std::string& name : names) {
    INFO(name);
    CHECK(listed.count(name) == 1);
    CHECK(name.find('@') == std::string::npos);
    CHECK(name[0] != '_');
  }
}

TEST_CASE("InitUninstall second stage: a valid log is copied, opened and read") {
  Scratch dir;
  const std::string log = std::string("junk before\r\n; and more\r\n  [QXUninst]  \r\n1\r\n  Orvella_Installation  \r\n"
                                      "1036\r\n  C:\\Program Files\\Orvella caf\xc3\xa9  \r\n[Files]\r\n");
  SecondStage s = RunSecondStage(dir, log);
  CHECK_EQ(s.result, 1);
  CHECK_EQ(s.report["result"], std::string("1"));
  CHECK_EQ(s.report["UNINSTEXE"], Narrow(dir.file(L"uninst.exe")));
  CHECK_EQ(s.report["QXLANGID"], std::string("1036"));
  CHECK_EQ(s.report["DESTPATH"], std::string("C:\\Program Files\\Orvella caf\xc3\xa9"));
  // The private copy: a "qxu" name in the runtime folder, the same bytes,
  // held open by the engine until it is unloaded.
  const std::string runtime = s.report["runtime"];
  CHECK(StartsWith(s.report["LOGFILE"], runtime + "\\qxu"));
  CHECK_EQ(s.report["HOSTLOGCRC"], Hex(ReferenceCrc(log)));
  CHECK_EQ(s.report["logheld"], std::string("1"));
  CHECK_EQ(s.report["heldafterunload"], std::string("0"));
  // The package's French section.
  CHECK_EQ(s.report["language"], std::string("&Annuler"));
  // The installed log itself is left as it was.
  std::string after;
  CHECK(ReadBytes(dir.file(L"uninst.log"), after));
  CHECK_EQ(after, log);
}

TEST_CASE("InitUninstall second stage: title prefix, empty title, language 0 and empty") {
  {
    Scratch dir;
    SecondStage s = RunSecondStage(dir, "[qxuninst]\r\n1\r\norvella\r\n0\r\nD:\\Orvella\r\n");
    CHECK_EQ(s.result, 1);
    CHECK_EQ(s.report["QXLANGID"], std::string("1033"));
    CHECK_EQ(s.report["DESTPATH"], std::string("D:\\Orvella"));
    // 1033 selects the package's English texts.
    CHECK_EQ(s.report["language"], std::string("&Cancel"));
  }
  {
    Scratch dir;
    SecondStage s = RunSecondStage(dir, "[QXUninst]\n1\n\n\nE:\\x\n", L"Some Other Package");
    CHECK_EQ(s.result, 1);
    CHECK_EQ(s.report["QXLANGID"], std::string("1033"));
    CHECK_EQ(s.report["DESTPATH"], std::string("E:\\x"));
  }
  {
    Scratch dir;
    SecondStage s = RunSecondStage(dir, "[QXUninst]\r\n1\r\nOrvella_Installation\r\nEnglish\r\n");
    CHECK_EQ(s.result, 1);
    CHECK_EQ(s.report["QXLANGID"], std::string("1033"));
    CHECK_EQ(s.report["DESTPATH"], std::string(""));
  }
}

TEST_CASE("InitUninstall first stage: copy in the temporary folder restarted with /u") {
  Scratch dir;
  const std::wstring folder = dir.file(L"Jane Doe");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring installed = folder + L"\\uninst.exe";
  CHECK(CopyFileW(HostPath().c_str(), installed.c_str(), FALSE));
  WriteBytes(folder + L"\\uninst.log", kValidLog);
  const std::wstring report = dir.file(L"report.txt");

  for (const wchar_t* parameter : {L"", L"\"a b\""}) {
    DeleteFileW(report.c_str());
    std::wstring command = L"\"" + installed + L"\"";
    if (*parameter) command += std::wstring(L" ") + parameter;
    CHECK_EQ(Run(installed, command, report, nullptr), DWORD(0));
    // The copy runs on after the first stage has ended.
    std::vector<Block> blocks;
    for (int i = 0; i < 300 && blocks.size() < 2; ++i) {
      Sleep(50);
      blocks = ReadReport(report);
    }
    CHECK_EQ(blocks.size(), size_t(2));
    if (blocks.size() != 2) continue;
    CHECK_EQ(blocks[0]["result"], std::string("0"));
    Block& copy = blocks[1];
    CHECK_EQ(copy["result"], std::string("1"));
    wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetLongPathNameW(temp, longTemp, MAX_PATH);
    CHECK(StartsWith(copy["self"], Narrow(longTemp) + "qxu"));
    const std::string expected = "\"" + copy["self"] + "\" /u \"" + Narrow(installed) + "\" " +
                                 (*parameter ? std::string("\"a b\"") : std::string());
    CHECK_EQ(copy["cmdline"], expected);
    CHECK_EQ(copy["UNINSTEXE"], Narrow(installed));
    CHECK_EQ(copy["DESTPATH"], std::string("C:\\Program Files\\Orvella"));
    // Nothing else removes the copy in this test.
    const std::wstring self = FromUtf8(copy["self"]);
    bool removed = false;
    for (int i = 0; i < 100 && !removed; ++i) {
      removed = DeleteFileW(self.c_str()) != 0;
      if (!removed) Sleep(50);
    }
    CHECK(removed);
  }
}

TEST_CASE("ParamStr: the process's parameters by index, empty when absent") {
  Scratch dir;
  const std::wstring report = dir.file(L"report.txt");
  CHECK_EQ(Run(HostPath(), L"\"" + HostPath() + L"\" --params a \"b c\" \"\" d\\\"e", report, nullptr), DWORD(0));
  std::vector<Block> blocks = ReadReport(report);
  CHECK_EQ(blocks.size(), size_t(1));
  if (blocks.size() != 1) return;
  CHECK_EQ(blocks[0]["0"], std::string("--params"));
  CHECK_EQ(blocks[0]["1"], std::string("a"));
  CHECK_EQ(blocks[0]["2"], std::string("b c"));
  CHECK_EQ(blocks[0]["3"], std::string(""));
  CHECK_EQ(blocks[0]["4"], std::string("d\"e"));
  CHECK_EQ(blocks[0]["5"], std::string(""));
  CHECK_EQ(blocks[0]["-1"], std::string(""));
}

TEST_CASE("CheckFileProp: skip, redirect, default, from qxfprop.dat") {
  Core core;
  Scratch runtime;
  WriteBytes(runtime.file(L"qxfprop.dat"),
             "; file properties\r\n"
             "bin\\shared.dll\r\n%SHARED%\r\n\r\n\r\n0\r\n"
             "bin\\admin.dll\r\n%SHARED%\r\n%ISADMIN%\r\n%NOPE%\r\n0\r\n"
             "bin\\empty.dll\r\n%NOTHING%\r\n\r\n\r\n0\r\n"
             "bin\\plain.dll\r\n\r\n\r\n\r\n1\r\n");
  core.SetVar(L"QXSFXPATH", runtime.path().c_str());
  core.InitSFX(nullptr);
  CHECK(!FileExists(runtime.file(L"qxfprop.dat")));
  core.SetVar(L"DESTPATH", L"C:\\Program Files\\Orvella");
  core.SetVar(L"SHARED", L"D:\\Common");
  core.SetVar(L"NOPE", L"0");
  core.SetVar(L"NOTHING", L"");

  wchar_t buffer[MAX_PATH];
  lstrcpyW(buffer, L"C:\\Program Files\\Orvella\\bin\\shared.dll");
  CHECK_EQ(core.CheckFileProp(buffer, sizeof buffer), 2);
  CHECK_EQ(U(buffer), U(L"D:\\Common\\shared.dll"));
  lstrcpyW(buffer, L"c:\\program files\\orvella\\bin\\admin.dll");
  CHECK_EQ(core.CheckFileProp(buffer, sizeof buffer), 0);
  CHECK_EQ(U(buffer), U(L"c:\\program files\\orvella\\bin\\admin.dll"));
  for (const wchar_t* path : {L"C:\\Program Files\\Orvella\\bin\\empty.dll", L"C:\\Program Files\\Orvella\\bin\\plain.dll",
                              L"C:\\Program Files\\Orvella\\bin\\other.dll", L"C:\\Program Files\\Orvella\\BIN\\SHARED.DLL"}) {
    lstrcpyW(buffer, path);
    CHECK_EQ(core.CheckFileProp(buffer, sizeof buffer), 1);
    CHECK_EQ(U(buffer), U(path));
  }
  // A redirected path that does not fit leaves the buffer alone.
  wchar_t small[26];
  lstrcpyW(small, L"%DESTPATH%\\bin\\shared.dll");
  CHECK_EQ(core.CheckFileProp(small, 20), 1);
  CHECK_EQ(U(small), U(L"%DESTPATH%\\bin\\shared.dll"));
  lstrcpyW(buffer, L"%DESTPATH%\\bin\\shared.dll");
  CHECK_EQ(core.CheckFileProp(buffer, 2 * 21 + 2), 2);
  CHECK_EQ(U(buffer), U(L"D:\\Common\\shared.dll"));
  CHECK_EQ(core.CheckFileProp(nullptr, 100), 1);

  // Without a qxfprop.dat every file is installed as usual.
  Core fresh;
  Scratch empty;
  fresh.SetVar(L"QXSFXPATH", empty.path().c_str());
  fresh.InitSFX(nullptr);
  fresh.SetVar(L"DESTPATH", L"C:\\Program Files\\Orvella");
  lstrcpyW(buffer, L"C:\\Program Files\\Orvella\\bin\\shared.dll");
  CHECK_EQ(fresh.CheckFileProp(buffer, sizeof buffer), 1);
}

TEST_CASE("QXFindString: 1-based positions, start, case, expansion") {
  Core core;
  core.SetVar(L"T", L"Hello hello");
  auto find = [&](const wchar_t* text, const wchar_t* what, int start, int match) {
    return U(core.QXFindString(text, what, start, match));
  };
  CHECK_EQ(find(L"Hello hello", L"hello", 1, 0), U(L"1"));
  CHECK_EQ(find(L"Hello hello", L"hello", 1, 1), U(L"7"));
  CHECK_EQ(find(L"Hello hello", L"HELLO", 1, 2), U(L"1"));
  CHECK_EQ(find(L"Hello hello", L"hello", 2, 0), U(L"7"));
  CHECK_EQ(find(L"Hello hello", L"hello", 7, 0), U(L"7"));
  CHECK_EQ(find(L"Hello hello", L"hello", 8, 0), U(L"0"));
  CHECK_EQ(find(L"Hello hello", L"o", 11, 0), U(L"11"));
  CHECK_EQ(find(L"Hello hello", L"o", 12, 0), U(L"0"));
  CHECK_EQ(find(L"Hello hello", L"o", 500, 1), U(L"0"));
  CHECK_EQ(find(L"Hello hello", L"H", 0, 1), U(L"1"));
  CHECK_EQ(find(L"Hello hello", L"H", -5, 1), U(L"1"));
  CHECK_EQ(find(L"Hello hello", L"xyz", 1, 0), U(L"0"));
  CHECK_EQ(find(L"Hello hello", L"", 1, 0), U(L"0"));
  CHECK_EQ(find(L"[%T%]", L"%t%", 1, 1), U(L"2"));
  CHECK_EQ(find(L"a/$b", L"b", 1, 1), U(L"4"));
  CHECK_EQ(find(nullptr, L"a", 1, 0), U(L"0"));
  CHECK_EQ(find(L"a", nullptr, 1, 0), U(L"0"));
}

TEST_CASE("QXStringReplace: every occurrence, any case, all texts expanded") {
  Core core;
  core.SetVar(L"OLD", L"cat");
  core.SetVar(L"NEW", L"dog");
  CHECK_EQ(U(core.QXStringReplace(L"Cat cat CAT", L"cat", L"x")), U(L"x x x"));
  CHECK_EQ(U(core.QXStringReplace(L"the %OLD% and the cat", L"%old%", L"%NEW%")), U(L"the dog and the dog"));
  CHECK_EQ(U(core.QXStringReplace(L"aaa", L"a", L"aa")), U(L"aaaaaa"));
  CHECK_EQ(U(core.QXStringReplace(L"a-b-c", L"-", nullptr)), U(L"abc"));
  CHECK_EQ(U(core.QXStringReplace(L"abc", L"", L"x")), U(L"abc"));
  CHECK_EQ(U(core.QXStringReplace(nullptr, L"a", L"b")), U(L""));
}

TEST_CASE("QXWriteDataToFile: creates, appends as UTF-8, line ends only for 1") {
  Core core;
  Scratch dir;
  core.SetVar(L"DIR", dir.path().c_str());
  core.SetVar(L"WHO", L"caf\u00e9");
  CHECK_EQ(core.QXWriteDataToFile(L"%DIR%\\out.txt", L"hello %WHO%", 1), 1);
  CHECK_EQ(core.QXWriteDataToFile(L"%dir%\\out.txt", L"second", 2), 1);
  CHECK_EQ(core.QXWriteDataToFile(L"%DIR%\\out.txt", L"/$third", 0), 1);
  CHECK_EQ(core.QXWriteDataToFile(L"%DIR%\\out.txt", nullptr, 1), 1);
  std::string written;
  CHECK(ReadBytes(dir.file(L"out.txt"), written));
  CHECK_EQ(written, std::string("hello caf\xc3\xa9\r\nsecond\r\nthird\r\n"));
  CHECK_EQ(core.QXWriteDataToFile(L"%DIR%\\no\\such\\out.txt", L"x", 1), 0);
  CHECK_EQ(core.QXWriteDataToFile(L"%DIR%", L"x", 1), 0);
  CHECK_EQ(core.QXWriteDataToFile(nullptr, L"x", 1), 0);
}

TEST_CASE("QXGetFileInfo: CRC-32 in hexadecimal, size in decimal, path as given") {
  Core core;
  Scratch dir;
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  WriteBytes(dir.file(L"big.bin"), big);
  WriteBytes(dir.file(L"check.txt"), "123456789");
  WriteBytes(dir.file(L"lead.txt"), "x31");
  WriteBytes(dir.file(L"empty.txt"), "");

  CHECK_EQ(core.QXGetFileInfo(L"C", 0, dir.file(L"check.txt").c_str()), 0);
  CHECK_EQ(core.Eval(L"%C%"), U(L"CBF43926"));
  core.QXGetFileInfo(L"C", 0, dir.file(L"lead.txt").c_str());
  CHECK_EQ(core.Eval(L"%C%"), U(L"1685F0"));
  core.QXGetFileInfo(L"C", 0, dir.file(L"big.bin").c_str());
  CHECK_EQ(Narrow(core.EvalVar(L"%C%")), Hex(ReferenceCrc(big)));
  core.QXGetFileInfo(L"C", 0, dir.file(L"empty.txt").c_str());
  CHECK_EQ(core.Eval(L"%C%"), U(L"0"));

  core.QXGetFileInfo(L"S", 1, dir.file(L"big.bin").c_str());
  CHECK_EQ(core.Eval(L"%S%"), U(L"300000"));
  core.QXGetFileInfo(L"S", 1, dir.file(L"empty.txt").c_str());
  CHECK_EQ(core.Eval(L"%S%"), U(L"0"));

  // Missing files, folders and unexpanded references give the empty text.
  core.SetVar(L"DIR", dir.path().c_str());
  core.QXGetFileInfo(L"C", 0, L"%DIR%\\check.txt");
  CHECK_EQ(core.Eval(L"[%C%]"), U(L"[]"));
  core.QXGetFileInfo(L"S", 1, dir.path().c_str());
  CHECK_EQ(core.Eval(L"[%S%]"), U(L"[]"));
  core.QXGetFileInfo(L"S", 1, dir.file(L"missing.txt").c_str());
  CHECK_EQ(core.Eval(L"[%S%]"), U(L"[]"));
  // An unknown kind changes nothing.
  core.SetVar(L"K", L"kept");
  CHECK_EQ(core.QXGetFileInfo(L"K", 2, dir.file(L"check.txt").c_str()), 0);
  CHECK_EQ(core.Eval(L"%K%"), U(L"kept"));
}

TEST_CASE("ExecuteProgram: waits, exit code variable, folder, quoted path") {
  Core core;
  Scratch dir;
  const std::wstring folder = dir.file(L"with space");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring program = folder + L"\\host.exe";
  CHECK(CopyFileW(HostPath().c_str(), program.c_str(), FALSE));
  const std::wstring report = dir.file(L"report.txt");
  SetEnvironmentVariableW(L"QX_HOST_REPORT", report.c_str());
  core.SetVar(L"PROG", program.c_str());

  CHECK_EQ(core.ExecuteProgram(L"%PROG%", L"--where 7", dir.path().c_str(), 1, 1, L"RC"), 0);
  CHECK_EQ(core.Eval(L"%RC%"), U(L"7"));
  std::vector<Block> blocks = ReadReport(report);
  CHECK_EQ(blocks.size(), size_t(1));
  if (!blocks.empty()) CHECK_EQ(blocks[0]["cwd"], Narrow(dir.path()));

  // Only the low byte of the wait flag counts; exit codes are signed.
  CHECK_EQ(core.ExecuteProgram(program.c_str(), L"--where -3", L"", 0x101, 0, L"RC"), 0);
  CHECK_EQ(core.Eval(L"%RC%"), U(L"-3"));
  blocks = ReadReport(report);
  CHECK_EQ(blocks.size(), size_t(2));

  // A program that does not exist sets nothing; neither does an empty name.
  core.SetVar(L"RC", L"untouched");
  CHECK_EQ(core.ExecuteProgram(dir.file(L"missing.exe").c_str(), L"", L"", 1, 0, L"RC"), 0);
  CHECK_EQ(core.Eval(L"%RC%"), U(L"untouched"));
  CHECK_EQ(core.ExecuteProgram(program.c_str(), L"--where 9", L"", 1, 0, L""), 0);
  CHECK_EQ(core.Eval(L"%RC%"), U(L"untouched"));
  CHECK_EQ(core.ExecuteProgram(nullptr, nullptr, nullptr, 1, 0, L"RC"), 0);

  // Without waiting the call returns at once and the program still runs.
  CHECK_EQ(core.ExecuteProgram(program.c_str(), L"--where 0", L"", 0, 0, nullptr), 0);
  for (int i = 0; i < 200 && blocks.size() < 4; ++i) {
    Sleep(50);
    blocks = ReadReport(report);
  }
  CHECK_EQ(blocks.size(), size_t(4));
  SetEnvironmentVariableW(L"QX_HOST_REPORT", nullptr);
  // The last program may still be ending when the folder goes.
  for (int i = 0; i < 100 && FileExists(program) && !DeleteFileW(program.c_str()); ++i) Sleep(50);
}

int main(int argc, char** argv) {
  UseDeliverablesFolder();
  return doctest::Context(argc, argv).run();
}
