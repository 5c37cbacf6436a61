// QXCore.dll's text exports, called through their plain names under Wine.
// Started with QX_ENGINE_CHILD_OUT set, the program is instead a child whose
// own command line feeds the parameter variables (see ChildMain).
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "doctest_text.h"
#include "engine_test_support.h"

using namespace enginetest;

namespace {

const wchar_t kChildOut[] = L"QX_ENGINE_CHILD_OUT";
const wchar_t kChildRuntime[] = L"QX_ENGINE_CHILD_RUNTIME";

std::u16string WindowsFolder() {
  wchar_t path[MAX_PATH];
  UINT n = GetWindowsDirectoryW(path, MAX_PATH);
  std::wstring s(path, n);
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  return U(s);
}

// An engine after InitSFX in |runtime| holding |table| as "qxlng.dat", with
// QXSFXPATH given with a trailing backslash as the launcher gives it.
void Start(const Core& core, const Scratch& runtime, const std::string& table) {
  WriteBytes(runtime.file(L"qxlng.dat"), table);
  core.SetVar(L"APPTITLE", L"Orvella");
  core.SetVar(L"QXSFXPATH", (runtime.path() + L"\\").c_str());
  core.InitSFX(GetModuleHandleW(nullptr));
}

// Runs this program as a child with |arguments| after its name and returns
// what the child wrote: the parameter variables, one per line.
std::string RunChild(const std::wstring& arguments) {
  Scratch scratch;
  WriteBytes(scratch.file(L"qxlng.dat"), PackageFile("qxlng.dat"));
  const std::wstring out = scratch.file(L"out.txt");
  SetEnvironmentVariableW(kChildRuntime, scratch.path().c_str());
  const bool started = RunSelfAsChild(kChildOut, out, arguments, 30000);
  SetEnvironmentVariableW(kChildRuntime, nullptr);
  if (!started) return "(not started)";
  std::string written;
  if (!ReadBytes(out, written)) return "(no output)";
  return written;
}

int ChildMain(const wchar_t* out) {
  Core core;
  if (!core.loaded()) return 2;
  wchar_t runtime[MAX_PATH];
  GetEnvironmentVariableW(kChildRuntime, runtime, MAX_PATH);
  core.SetVar(L"QXSFXPATH", runtime);
  core.InitSFX(GetModuleHandleW(nullptr));
  std::wstring report;
  for (const wchar_t* name : {L"%PARAMCOUNT%", L"%PARAM%", L"%PARAM2%", L"%PARAM3%", L"%PARAM4%", L"%PARAMS%"}) {
    report += core.EvalVar(name);
    report += L"\n";
  }
  return WriteBytes(out, Utf8(report)) ? 0 : 3;
}

}  // namespace

TEST_CASE("exports are bound by their plain names") {
  Core core;
  CHECK(core.loaded());
  if (!core.loaded()) return;
  CHECK((core.InitSFX && core.SetVar && core.EvalVar && core.EvalVarBuf && core.ReplaceVarInFile &&
        core.GetSpecialDirectory));
  CHECK((GetProcAddress(core.module(), "SetVar@8") == nullptr));
  CHECK((GetProcAddress(core.module(), "_EvalVarBuf@12") == nullptr));
}

TEST_CASE("InitSFX: runtime folder, language table read and then deleted") {
  Core core;
  Scratch runtime;
  Start(core, runtime, PackageFile("qxlng.dat"));
  CHECK_EQ(core.Eval(L"%QXSFXPATH%"), U(runtime.path()));
  CHECK(!FileExists(runtime.file(L"qxlng.dat")));
  CHECK_EQ(core.Eval(L"#UninstallPrompt"), U(L"Do you really want to uninstall the \"Orvella\" package?"));
  CHECK_EQ(core.Eval(L"#uninstallfinal"),
           U(L"The changes made by the \"Orvella\" package were successfully removed!"));
  CHECK_EQ(core.Eval(L"[#errorwritefile][#errorcreatefile]"), U(L"[Cannot write data to file:][Cannot create file:]"));
  CHECK_EQ(core.Eval(L"#yes #no #ok #yestoall #notoall #cancel"), U(L"&Yes &No &OK Yes to &All N&o to All &Cancel"));
  CHECK_EQ(core.Eval(L"#confirmreplace|#confirmreplaceask|#browsefolders|#browse"),
           U(L"Confirm File Replace|Would you like to replace the existing file with this one?|"
             L"Browse for Folder|B&rowse..."));
  CHECK_EQ(core.Eval(L"#errorunlognotfound/$#errorunloginvalid"),
           U(L"Error: uninstall log file not found.\r\nError: invalid log file."));
}

TEST_CASE("language selection: a second section, a missing one, no table") {
  {
    Core core;
    Scratch runtime;
    Start(core, runtime,
          "[QXLang]\r\nEnglish\r\n1033\r\n#cancel=&Cancel\r\n[QXLang]\r\nFrancais\r\n1036\r\n#cancel=&Annuler\r\n");
    CHECK_EQ(core.Eval(L"#cancel"), U(L"&Cancel"));
    core.SetVar(L"QXLANGID", L"1036");
    CHECK_EQ(core.Eval(L"#Cancel"), U(L"&Annuler"));
    // A language the table lacks speaks the first section's.
    core.SetVar(L"QXLANGID", L"1031");
    CHECK_EQ(core.Eval(L"#Cancel"), U(L"&Cancel"));
  }
  {
    Core core;
    Scratch runtime;
    Start(core, runtime, PackageFile("qxlng.dat"));
    core.SetVar(L"QXLANGID", L"1029");
    CHECK_EQ(core.Eval(L"#UninstallPrompt"), U(L"Do you really want to uninstall the \"Orvella\" package?"));
    CHECK_EQ(core.Eval(L"%QXLANGID%"), U(L"1029"));
  }
  {
    // No qxlng.dat at all: references stay, built-ins are still set.
    Core core;
    Scratch runtime;
    core.SetVar(L"QXSFXPATH", runtime.path().c_str());
    CHECK_EQ(core.InitSFX(nullptr), 0);
    CHECK_EQ(core.Eval(L"#cancel"), U(L"#cancel"));
    CHECK_EQ(core.Eval(L"%WIN%"), WindowsFolder());
  }
}

TEST_CASE("SetVar and EvalVar: frozen values, null texts, results that go back in") {
  Core core;
  CHECK_EQ(core.SetVar(L"A", L"%B%"), 0);
  core.SetVar(L"B", L"b");
  core.SetVar(L"C", L"x/$y");
  CHECK_EQ(core.Eval(L"%a%-%C%-%UNKNOWN%-100%"), U(L"b-x\r\ny-%UNKNOWN%-100%"));
  core.SetVar(L"N", nullptr);
  CHECK_EQ(core.Eval(L"[%N%]"), U(L"[]"));
  core.SetVar(nullptr, L"unnamed");
  CHECK_EQ(core.Eval(L"%%"), U(L"unnamed"));
  CHECK_EQ(core.Eval(nullptr), U(L""));
  // A result handed back in as the argument of the next call.
  const wchar_t* first = core.EvalVar(L"%B%%B%");
  CHECK_EQ(U(core.EvalVar(first)), U(L"bb"));
  core.SetVar(L"COPY", core.EvalVar(L"%C%!"));
  CHECK_EQ(core.Eval(L"%COPY%"), U(L"x\r\ny!"));
}

TEST_CASE("EvalVarBuf bounds") {
  Core core;
  core.SetVar(L"LONG", std::wstring(10000, L'x').c_str());
  std::vector<wchar_t> buffer(9000, L'?');
  CHECK_EQ(core.EvalVarBuf(L"%LONG%", buffer.data(), 16384), 16382);
  CHECK(buffer[8190] == L'x');
  CHECK(buffer[8191] == 0);
  CHECK(buffer[8192] == L'?');

  for (int size : {2, 3}) {
    buffer.assign(8, L'?');
    CHECK_EQ(core.EvalVarBuf(L"%LONG%", buffer.data(), size), 0);
    CHECK(buffer[0] == 0);
    CHECK(buffer[1] == L'?');
  }
  for (int size : {1, 0, -6}) {
    buffer.assign(8, L'?');
    CHECK_EQ(core.EvalVarBuf(L"%LONG%", buffer.data(), size), 0);
    CHECK(buffer[0] == L'?');
  }
  CHECK_EQ(core.EvalVarBuf(L"%LONG%", nullptr, 16384), 0);

  buffer.assign(8, L'?');
  CHECK_EQ(core.EvalVarBuf(L"ab/$", buffer.data(), 16), 8);
  CHECK((buffer[2] == L'\r' && buffer[3] == L'\n' && buffer[4] == 0 && buffer[5] == L'?'));
  buffer.assign(8, L'?');
  CHECK_EQ(core.EvalVarBuf(nullptr, buffer.data(), 16), 0);
  CHECK(buffer[0] == 0);
}

TEST_CASE("built-in variables under Wine") {
  Core core;
  Scratch runtime;
  Start(core, runtime, PackageFile("qxlng.dat"));
  CHECK_EQ(core.Eval(L"%ISADMIN%|%isadmin%|%IsAdmin%"), U(L"1|1|1"));
  CHECK_EQ(core.Eval(L"%IS64OS%"), U(L"1"));
  const std::u16string poweruser = core.Eval(L"%ISPOWERUSER%");
  CHECK((poweruser == u"0" || poweruser == u"1"));
  CHECK_EQ(core.Eval(L"%WIN%"), WindowsFolder());
  wchar_t sys[MAX_PATH];
  CHECK_EQ(core.Eval(L"%SYS%"), U(std::wstring(sys, GetSystemDirectoryW(sys, MAX_PATH))));
  wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring expectedTemp(longTemp, GetLongPathNameW(temp, longTemp, MAX_PATH));
  expectedTemp.pop_back();
  CHECK_EQ(core.Eval(L"%TMP%"), U(expectedTemp));
  CHECK_EQ(core.Eval(L"%SYSROOT%"), U(L"C:"));
  CHECK_EQ(core.Eval(L"%DESKTOPDIR%"), U(core.GetSpecialDirectory(CSIDL_DESKTOP)));
  CHECK_EQ(core.Eval(L"%COMFILESDIR%"), core.Eval(L"%COMAPPDATADIR%"));
  CHECK_EQ(core.Eval(L"%COMAPPDATADIR%"), U(core.GetSpecialDirectory(CSIDL_COMMON_APPDATA)));
  CHECK_EQ(core.Eval(L"%LOCALAPPDATADIR%"), U(core.GetSpecialDirectory(CSIDL_LOCAL_APPDATA)));
  CHECK_EQ(core.Eval(L"%QUICKLAUNCHDIR%"), core.Eval(L"%APPDATADIR%\\Microsoft\\Internet Explorer\\Quick Launch"));
  CHECK(!core.Eval(L"%APPDATADIR%").empty());

  SYSTEMTIME before, after;
  GetLocalTime(&before);
  const std::u16string date = core.Eval(L"%CURDATE%");
  const std::u16string stamp = core.Eval(L"%CURDATETIME%");
  GetLocalTime(&after);
  wchar_t expected[16];
  wsprintfW(expected, L"%04u%02u%02u", before.wYear, before.wMonth, before.wDay);
  std::u16string dayBefore = U(expected);
  wsprintfW(expected, L"%04u%02u%02u", after.wYear, after.wMonth, after.wDay);
  CHECK((date == dayBefore || date == U(expected)));
  CHECK_EQ(stamp.size(), size_t(17));
  CHECK((stamp.substr(0, 8) == date && stamp[8] == u' ' && stamp[11] == u':' && stamp[14] == u':'));

  // Windows 7 and later without a compatibility manifest report 6.1 to 6.3.
  const std::u16string os = core.Eval(L"%OSVER%");
  CHECK((os == u"13" || os == u"15" || os == u"16" || os == u"17" || os == u"0"));
}

TEST_CASE("a built-in folder set before its first use keeps the value set") {
  Core core;
  Scratch runtime;
  Start(core, runtime, PackageFile("qxlng.dat"));
  // The folder variables are looked up when first used: SetVar before that
  // stands, and a folder used first keeps the shell's path.
  core.SetVar(L"DESKTOPDIR", L"D:\\own desktop");
  CHECK_EQ(core.Eval(L"%DESKTOPDIR%\\Orvella.lnk|%desktopdir%"), U(L"D:\\own desktop\\Orvella.lnk|D:\\own desktop"));
  CHECK_EQ(core.Eval(L"%APPDATADIR%"), U(core.GetSpecialDirectory(CSIDL_APPDATA)));
  core.SetVar(L"APPDATADIR", L"later");
  CHECK_EQ(core.Eval(L"%APPDATADIR%"), U(L"later"));
}

TEST_CASE("parameter variables of the host process") {
  CHECK_EQ(RunChild(L""), std::string("0\n\n%PARAM2%\n%PARAM3%\n%PARAM4%\n\n"));
  CHECK_EQ(RunChild(L" a \"b c\""), std::string("2\na\nb c\n\n%PARAM4%\na \"b c\"\n"));
  CHECK_EQ(RunChild(L" only"), std::string("1\nonly\n\n%PARAM3%\n%PARAM4%\nonly\n"));
  // Parameters are expanded when they are stored, like every value.
  CHECK_EQ(RunChild(L" #cancel/$x"), std::string("1\n&Cancel\r\nx\n\n%PARAM3%\n%PARAM4%\n&Cancel\r\nx\n"));
}

TEST_CASE("GetSpecialDirectory") {
  Core core;
  CHECK_EQ(U(core.GetSpecialDirectory(CSIDL_WINDOWS)), WindowsFolder());
  wchar_t path[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  CHECK_EQ(U(core.GetSpecialDirectory(CSIDL_APPDATA)), U(path));
  // A virtual folder without a path, and a number the shell does not know.
  CHECK_EQ(U(core.GetSpecialDirectory(CSIDL_DRIVES)), U(L""));
  CHECK_EQ(U(core.GetSpecialDirectory(0x7F)), U(L""));
}

TEST_CASE("ReplaceVarInFile: expansion, line ends, escape mode") {
  Core core;
  Scratch dir;
  Start(core, dir, PackageFile("qxlng.dat"));
  core.SetVar(L"APPTITLE", L"a\\b");
  const std::wstring source = dir.file(L"in.txt"), target = dir.file(L"out.txt");
  WriteBytes(source, "C:\\dir\\%APPTITLE%\r\n#Cancel\rx/$y\ncaf\xc3\xa9 %apptitle%\r\n\r\nlast");
  CHECK_EQ(core.ReplaceVarInFile(source.c_str(), target.c_str(), 0), 0);
  std::string written;
  CHECK(ReadBytes(target, written));
  CHECK_EQ(written, std::string("C:\\dir\\a\\b\r\n&Cancel\r\nx\r\ny\r\ncaf\xc3\xa9 a\\b\r\n\r\nlast\r\n"));

  CHECK_EQ(core.ReplaceVarInFile(source.c_str(), target.c_str(), 1), 0);
  CHECK(ReadBytes(target, written));
  CHECK_EQ(written, std::string("C:\\dir\\a\\\\b\r\n&Cancel\r\nx\r\ny\r\ncaf\xc3\xa9 a\\\\b\r\n\r\nlast\r\n"));

  // Paths are expanded too.
  core.SetVar(L"WORK", dir.path().c_str());
  WriteBytes(source, "%CUR%");
  core.SetVar(L"CUR", L"now");
  CHECK_EQ(core.ReplaceVarInFile(L"%WORK%\\in.txt", L"%work%\\out2.txt", 1), 0);
  CHECK(ReadBytes(dir.file(L"out2.txt"), written));
  CHECK_EQ(written, std::string("now\r\n"));
}

TEST_CASE("ReplaceVarInFile: truncation, same file, failures") {
  Core core;
  Scratch dir;
  const std::wstring source = dir.file(L"in.txt"), target = dir.file(L"out.txt");
  WriteBytes(source, "short\n");
  WriteBytes(target, std::string(1000, 'Z'));
  core.ReplaceVarInFile(source.c_str(), target.c_str(), 0);
  std::string written;
  CHECK(ReadBytes(target, written));
  CHECK_EQ(written, std::string("short\r\n"));

  // An empty source empties the destination.
  WriteBytes(source, "");
  core.ReplaceVarInFile(source.c_str(), target.c_str(), 0);
  CHECK(ReadBytes(target, written));
  CHECK_EQ(written.size(), size_t(0));

  // Source and destination may be one file.
  core.SetVar(L"V", L"value");
  WriteBytes(source, "1 %V%\n2 %V%");
  core.ReplaceVarInFile(source.c_str(), source.c_str(), 0);
  CHECK(ReadBytes(source, written));
  CHECK_EQ(written, std::string("1 value\r\n2 value\r\n"));

  // A missing source creates nothing and leaves an existing target alone.
  const std::wstring missing = dir.file(L"missing.txt"), fresh = dir.file(L"fresh.txt");
  core.ReplaceVarInFile(missing.c_str(), fresh.c_str(), 0);
  CHECK(!FileExists(fresh));
  WriteBytes(target, "keep");
  CHECK_EQ(core.ReplaceVarInFile(missing.c_str(), target.c_str(), 0), 0);
  CHECK(ReadBytes(target, written));
  CHECK_EQ(written, std::string("keep"));
  // A destination in a folder that does not exist.
  CHECK_EQ(core.ReplaceVarInFile(source.c_str(), dir.file(L"no\\such\\out.txt").c_str(), 0), 0);
  CHECK_EQ(core.ReplaceVarInFile(nullptr, nullptr, 1), 0);
}

int main(int argc, char** argv) {
  UseDeliverablesFolder();
  wchar_t out[MAX_PATH];
  if (GetEnvironmentVariableW(kChildOut, out, MAX_PATH)) return ChildMain(out);
  return doctest::Context(argc, argv).run();
}
