// engine_host: plays the launcher's engine phase for the start-up tests. It
// makes a runtime folder with the package's language table, loads
// QXCore.dll, sets APPTITLE (QX_HOST_TITLE, else "Orvella_Installation"),
// ARCNAME (its own path), QXSFXPATH, CUR and ARCPATH, calls InitSFX and
// InitUninstall, appends what it saw to the file named by QX_HOST_REPORT,
// unloads the engine, removes the runtime folder and exits with
// InitUninstall's result.
//   engine_host --params ARGS...   reports ParamStr(0) to ParamStr(5)
//   engine_host --where CODE       reports its current folder, exits with CODE
// A report is a block of "key=value" lines after a line "run".
#include <windows.h>

#include <string>

#include "engine_test_support.h"

using namespace enginetest;

namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[4096];
  DWORD n = GetEnvironmentVariableW(name, value, 4096);
  return n && n < 4096 ? std::wstring(value, n) : std::wstring();
}

// Several hosts of one run may report at once: each takes the file alone.
void Report(const std::wstring& block) {
  const std::wstring path = Variable(L"QX_HOST_REPORT");
  if (path.empty()) return;
  const std::string bytes = Utf8(L"run\n" + block);
  for (int attempt = 0; attempt < 500; ++attempt) {
    qx::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      return;
    }
    Sleep(10);
  }
}

std::wstring Line(const wchar_t* key, const std::wstring& value) { return std::wstring(key) + L"=" + value + L"\n"; }

// Opening the file for writing with no sharing fails while someone holds it.
bool HeldOpen(const std::wstring& path) {
  qx::UniqueFile probe(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

void RemoveRuntimeFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  qx::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (find) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(find.get(), &found));
  }
  find.reset();
  RemoveDirectoryW(folder.c_str());
}

int EnginePhase() {
  wchar_t temp[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  if (!GetTempFileNameW(temp, L"qxh", 0, name)) return 100;
  const std::wstring runtime = name;
  DeleteFileW(runtime.c_str());
  if (!CreateDirectoryW(runtime.c_str(), nullptr)) return 101;
  WriteBytes(runtime + L"\\qxlng.dat", PackageFile("qxlng.dat"));

  int result = 102;
  std::wstring block;
  {
    Core core;
    if (core.loaded() && core.InitUninstall) {
      const std::wstring self = SelfPath();
      const std::wstring title = Variable(L"QX_HOST_TITLE");
      core.SetVar(L"APPTITLE", title.empty() ? L"Orvella_Installation" : title.c_str());
      core.SetVar(L"ARCNAME", self.c_str());
      core.SetVar(L"QXSFXPATH", (runtime + L"\\").c_str());
      core.SetVar(L"CUR", runtime.c_str());
      core.SetVar(L"ARCPATH", self.substr(0, self.rfind(L'\\')).c_str());
      core.InitSFX(GetModuleHandleW(nullptr));
      result = core.InitUninstall();

      const std::wstring logfile = core.EvalVar(L"%LOGFILE%");
      core.QXGetFileInfo(L"HOSTLOGCRC", 0, logfile.c_str());
      block += Line(L"result", std::to_wstring(result));
      block += Line(L"self", self);
      block += Line(L"cmdline", GetCommandLineW());
      block += Line(L"runtime", runtime);
      for (const wchar_t* v : {L"UNINSTEXE", L"LOGFILE", L"QXLANGID", L"DESTPATH", L"HOSTLOGCRC"}) {
        std::wstring reference = L"%" + std::wstring(v) + L"%";
        block += Line(v, core.EvalVar(reference.c_str()));
      }
      block += Line(L"language", core.EvalVar(L"#cancel"));
      block += Line(L"logheld", HeldOpen(logfile) ? L"1" : L"0");
    }
  }
  // The engine is unloaded here: its log must be closed with it.
  const size_t at = block.find(L"LOGFILE=");
  if (at != std::wstring::npos) {
    const std::wstring logfile = block.substr(at + 8, block.find(L'\n', at) - at - 8);
    block += Line(L"heldafterunload", HeldOpen(logfile) ? L"1" : L"0");
  }
  Report(block);
  RemoveRuntimeFolder(runtime);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  UseDeliverablesFolder();
  if (argc > 1 && std::wstring(argv[1]) == L"--params") {
    Core core;
    std::wstring block;
    for (int i = 0; i <= 5; ++i) block += Line(std::to_wstring(i).c_str(), core.ParamStr(i));
    block += Line(L"-1", core.ParamStr(-1));
    Report(block);
    return 0;
  }
  if (argc > 2 && std::wstring(argv[1]) == L"--where") {
    wchar_t folder[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, folder);
    Report(Line(L"cwd", std::wstring(folder, n)));
    return _wtoi(argv[2]);
  }
  return EnginePhase();
}
