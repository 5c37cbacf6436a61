// Helpers of the launcher's unit tests: a fresh folder under the temporary
// folder per test, whole-file reads and writes, and the prepared archives.
#pragma once

#include <windows.h>

#include <string>

#include "uninstall/launcher.h"
#include "uninstall/runtime_folder.h"

namespace qxtest {

inline std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

inline std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += (c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

// The folder of this test program.
inline std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

// Archives made with 7zz at build time.
inline std::wstring Fixture(const wchar_t* name) { return ProgramFolder() + L"launcher_fixtures\\" + name; }

// The deliverables: <build>/bin beside <build>/win/tests.
inline std::wstring Deliverable(const wchar_t* name) { return ProgramFolder() + L"..\\..\\bin\\" + name; }

inline bool WriteBytes(const std::wstring& path, const std::string& data) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
  CloseHandle(f);
  return ok && n == data.size();
}

inline std::string ReadBytes(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(f);
  return out;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool IsFolder(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// A fresh folder, ending with "\", removed with everything in it afterwards.
class TestFolder {
 public:
  TestFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    path_ = std::wstring(temp) + L"launcher-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial) + L"\\";
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TestFolder() {
    qx::PathBuffer buffer;
    if (buffer.assign(path_.c_str())) qx::RemoveFolderTree(buffer);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

}  // namespace qxtest
