#include "test_support.h"

#include "common/unique_resource.h"

namespace qxtest {

namespace {

// Removes |path| with everything in it, read-only files included.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  qx::UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(find.get(), &found));
  }
  find.reset();
  RemoveDirectoryW(path.c_str());
}

}  // namespace

Scratch::Scratch() {
  static unsigned counter = 0;
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  path_.assign(temp, n);
  if (!path_.empty() && path_.back() == L'\\') path_.pop_back();
  path_ += L"\\scratch_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  CreateDirectoryW(path_.c_str(), nullptr);
}

Scratch::~Scratch() { RemoveTree(path_); }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
  qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  bytes.clear();
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
  return true;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  return ReadBytes(path, bytes) ? bytes : "<missing>";
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? n : 0);
  return out;
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

std::wstring ProgramFolder() {
  const std::wstring self = SelfPath();
  return self.substr(0, self.find_last_of(L'\\') + 1);
}

std::wstring Fixture(const wchar_t* name) { return ProgramFolder() + L"launcher_fixtures\\" + name; }

std::wstring Deliverable(const wchar_t* name) { return ProgramFolder() + L"..\\..\\bin\\" + name; }

}  // namespace qxtest
