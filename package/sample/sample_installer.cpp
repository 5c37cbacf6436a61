// orvella_setup.exe: installs the sample Orvella application through the
// engine's installer-side exports, as the package's installer does, so that
// the uninstaller has a real installation to remove: files (one with a name
// outside the ANSI code page), nested folders, registry keys and values, INI
// keys, a shared library with its counter, a self-registered component, the
// desktop shortcut, the uninstaller with its log and its entry in the
// system's list of installed programs. The installation takes the language
// table's language that matches the user's interface language (the same
// language and country, else the same language), or else the table's
// default, and its log records it for the uninstaller.
//
//   orvella_setup.exe     (QXCore.dll, qxlng.dat, qxremove.dat and
//                          orvella_component.dll beside it)
//
// Exit code 0 when everything was installed; otherwise the step that failed
// is printed and the code is 1.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "engine/include/qxcore.h"

namespace {

// Entry kinds of the uninstall log.
enum LogKind { kFile = 0, kFolder = 1, kRegKey = 2, kRegValue = 3, kSharedFile = 4, kSelfRegFile = 5, kIniKey = 6 };

std::wstring g_failure;
// What the installed files take, for the installed-programs list.
ULONGLONG g_installed_bytes = 0;

constexpr wchar_t kProgramsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvella";

bool Fail(const std::wstring& what) {
  if (g_failure.empty()) g_failure = what;
  return false;
}

std::wstring Expanded(const wchar_t* text) { return EvalVar(text); }

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool WriteText(const std::wstring& path, const char* text) {
  qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(lstrlenA(text));
  g_installed_bytes += size;
  return file && WriteFile(file.get(), text, size, &written, nullptr) && written == size;
}

bool CopyCounted(const std::wstring& source, const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!CopyFileW(source.c_str(), path.c_str(), FALSE) ||
      !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return false;
  g_installed_bytes += (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

bool Folder(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return Fail(L"folder " + path);
  AddUninstLog(kFolder, path.c_str());
  return true;
}

bool File(const std::wstring& path, const char* text) {
  if (!WriteText(path, text)) return Fail(L"file " + path);
  AddUninstLog(kFile, path.c_str());
  return true;
}

// One more user of a shared file: its counter in the system's table.
bool SharedFile(const std::wstring& path, const std::wstring& source) {
  if (!CopyCounted(source, path)) return Fail(L"shared file " + path);
  qx::UniqueKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return Fail(L"shared counters");
  DWORD count = 0, type = 0, size = sizeof count;
  if (RegQueryValueExW(key.get(), path.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    count = 0;
  ++count;
  RegSetValueExW(key.get(), path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
  AddUninstLog(kSharedFile, path.c_str());
  return true;
}

bool SelfRegisteredFile(const std::wstring& path, const std::wstring& source) {
  if (!CopyCounted(source, path)) return Fail(L"component " + path);
  AddUninstLog(kFile, path.c_str());
  if (QXRegisterServer(path.c_str(), 1, 3000) != 1) return Fail(L"registering " + path);
  AddUninstLog(kSelfRegFile, path.c_str());
  return true;
}

bool RegistryValue(HKEY root, const wchar_t* root_name, const wchar_t* subkey, const wchar_t* name,
                   const std::wstring& value) {
  qx::UniqueKey key;
  if (RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return Fail(std::wstring(L"key ") + root_name + L"\\" + subkey);
  RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  const std::wstring path = std::wstring(root_name) + L"\\" + subkey;
  AddUninstLog(kRegValue, (L"\"" + path + L"\" \"" + name + L"\"").c_str());
  return true;
}

bool RegistryDword(HKEY root, const wchar_t* root_name, const wchar_t* subkey, const wchar_t* name, DWORD value) {
  qx::UniqueKey key;
  if (RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS ||
      RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
    return Fail(std::wstring(L"value ") + name);
  AddUninstLog(kRegValue, (L"\"" + std::wstring(root_name) + L"\\" + subkey + L"\" \"" + name + L"\"").c_str());
  return true;
}

// The entry that the system's installed-programs list and deployment tools
// read: how to remove the application, interactively and silently.
bool InstalledProgramsEntry(const std::wstring& dest) {
  const std::wstring uninstaller = L"\"" + Expanded(L"%UNINSTFNAME%") + L"\"";
  auto text = [](const wchar_t* name, const std::wstring& value) {
    return RegistryValue(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", kProgramsKey, name, value);
  };
  auto number = [](const wchar_t* name, DWORD value) {
    return RegistryDword(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", kProgramsKey, name, value);
  };
  return text(L"DisplayName", L"Orvella") && text(L"DisplayVersion", L"1.0") && text(L"Publisher", L"Orvella") &&
         text(L"DisplayIcon", Expanded(L"%UNINSTFNAME%")) && text(L"InstallLocation", dest) &&
         text(L"UninstallString", uninstaller) && text(L"QuietUninstallString", uninstaller + L" /S") &&
         number(L"EstimatedSize", static_cast<DWORD>((g_installed_bytes + 1023) / 1024)) && number(L"NoModify", 1) &&
         number(L"NoRepair", 1) &&
         AddUninstLog(kRegKey, (std::wstring(L"HKEY_LOCAL_MACHINE\\") + kProgramsKey).c_str()) == 0;
}

bool IniKey(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  if (!WritePrivateProfileStringW(section, key, value, file.c_str())) return Fail(L"INI key " + file);
  AddUninstLog(kIniKey, (L"\"" + file + L"\" " + section + L" " + key).c_str());
  return true;
}

bool DesktopShortcut(const std::wstring& target) {
  const std::wstring link = Expanded(L"%DESKTOPDIR%\\Orvella.lnk");
  IShellLinkW* shell_link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell_link))))
    return Fail(L"shortcut object");
  shell_link->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  HRESULT saved = shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(saved)) {
    saved = file->Save(link.c_str(), TRUE);
    file->Release();
  }
  shell_link->Release();
  return SUCCEEDED(saved) || Fail(L"shortcut " + link);
}

bool Install(const std::wstring& own) {
  const std::wstring dest = Expanded(L"%DESTPATH%");
  const std::wstring data = dest + L"\\data";
  const std::wstring media = data + L"\\media";
  const std::wstring common = Expanded(L"%COMFILESDIR%\\Orvella Shared");
  return Folder(dest) && Folder(data) && Folder(media) && Folder(common) &&
         File(dest + L"\\orvella.txt", "Orvella sample application\r\n") &&
         File(data + L"\\library.dat", "catalogue\r\n") &&
         File(media + L"\\\x041F\x0440\x0438\x0432\x0435\x0442 \x4E16\x754C.txt", "non-ANSI name\r\n") &&
         SharedFile(common + L"\\orvshared.dll", own + L"orvella_component.dll") &&
         SelfRegisteredFile(dest + L"\\orvella_component.dll", own + L"orvella_component.dll") &&
         RegistryValue(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\Orvella", L"Theme", L"dark") &&
         RegistryValue(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\Orvella", L"", L"Orvella") &&
         RegistryValue(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\Orvella", L"InstallDir", dest) &&
         AddUninstLog(kRegKey, L"HKEY_CURRENT_USER\\Software\\Orvella") == 0 &&
         AddUninstLog(kRegKey, L"HKEY_LOCAL_MACHINE\\Software\\Orvella") == 0 &&
         IniKey(Expanded(L"%WIN%\\orvella.ini"), L"Options", L"Theme", L"dark") &&
         IniKey(Expanded(L"%WIN%\\orvella.ini"), L"Options", L"Language", L"1033") &&
         DesktopShortcut(dest + L"\\orvella.txt") && InstalledProgramsEntry(dest);
}

// The identifiers of the language table's sections, in file order: each is
// the second line after a "[QXLang]" line.
std::vector<LANGID> TableLanguages(const std::wstring& path) {
  std::vector<LANGID> languages;
  qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[4096];
  DWORD read = 0;
  std::string bytes;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  std::vector<std::string> lines(1);
  for (char c : bytes) {
    if (c == '\n') lines.emplace_back();
    else if (c != '\r') lines.back() += c;
  }
  for (std::string& line : lines) {
    line.erase(0, line.find_first_not_of(' '));
    line.erase(line.find_last_not_of(' ') + 1);
  }
  for (size_t i = 0; i + 2 < lines.size(); ++i)
    if (lines[i] == "[QXLang]") languages.push_back(static_cast<LANGID>(std::atoi(lines[i + 2].c_str())));
  return languages;
}

// The table's language for the user's interface language: the same language
// and country, else the same language, else the table's default (the first).
LANGID UserLanguage(const std::vector<LANGID>& table) {
  const LANGID user = GetUserDefaultUILanguage();
  for (LANGID language : table)
    if (language == user) return language;
  for (LANGID language : table)
    if (PRIMARYLANGID(language) == PRIMARYLANGID(user)) return language;
  return table.empty() ? 0 : table[0];
}

// The engine deletes the language table once read and copies the
// uninstaller program from "qxremove.dat": both come from a private copy.
bool StageRuntimeFolder(const std::wstring& own, std::wstring& runtime) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  runtime = std::wstring(temp) + L"orvella-setup-" + std::to_wstring(GetCurrentProcessId());
  if (!CreateDirectoryW(runtime.c_str(), nullptr)) return Fail(L"runtime folder " + runtime);
  for (const wchar_t* name : {L"qxlng.dat", L"qxremove.dat"})
    if (!CopyFileW((own + name).c_str(), (runtime + L"\\" + name).c_str(), FALSE)) return Fail(name);
  return true;
}

}  // namespace

int wmain() {
  CoInitialize(nullptr);
  const std::wstring own = OwnFolder();
  std::wstring runtime;
  int code = 1;
  if (StageRuntimeFolder(own, runtime)) {
    SetVar(L"APPTITLE", L"Orvella_Installation");
    SetVar(L"QXSFXPATH", runtime.c_str());
    InitSFX(GetModuleHandleW(nullptr));
    SetVar(L"QXLANGID", std::to_wstring(UserLanguage(TableLanguages(own + L"qxlng.dat"))).c_str());
    SetVar(L"DESTPATH", Expanded(L"%PROGFILESDIR%\\Orvella").c_str());
    SetVar(L"UNINSTFNAME", Expanded(L"%DESTPATH%\\uninstall.exe").c_str());
    if (ManageUninstLog(0) != 0) {
      Fail(L"beginning the log");
    } else if (!Install(own)) {
      ManageUninstLog(2);
    } else {
      const int finished = ManageUninstLog(1);
      if (finished == 0) code = 0;
      else Fail(L"finishing the log: " + std::to_wstring(finished));
    }
  }
  if (!runtime.empty()) {
    DeleteFileW((runtime + L"\\qxremove.dat").c_str());
    RemoveDirectoryW(runtime.c_str());
  }
  if (code == 0) {
    // Each EvalVar result lasts until the next engine call.
    const std::wstring language = EvalVar(L"%QXLANGID%");
    std::printf("installed Orvella into %ls, language %ls\n", EvalVar(L"%DESTPATH%"), language.c_str());
  } else {
    std::printf("installation failed: %ls\n", g_failure.c_str());
  }
  CoUninitialize();
  return code;
}
