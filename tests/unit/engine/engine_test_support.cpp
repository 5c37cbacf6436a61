#include "engine_test_support.h"

namespace enginetest {

namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Removes |path| with everything in it.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  qx::UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path + L"\\" + name);
      else DeleteFileW((path + L"\\" + name).c_str());
    } while (FindNextFileW(find.get(), &found));
  }
  find.reset();
  RemoveDirectoryW(path.c_str());
}

// A Linux path of the build as seen through Wine's Z: drive.
std::wstring WinePath(const char* linux_path) {
  std::wstring path = L"Z:" + FromUtf8(linux_path);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

}  // namespace

Core::Core() : module_(LoadLibraryW(L"QXCore.dll")) {
  if (!module_) return;
#define QX_BIND(name) Bind(module_.get(), #name, name);
  QX_ENGINE_EXPORTS(QX_BIND)
#undef QX_BIND
}

std::u16string Core::Eval(const wchar_t* text) const { return U(EvalVar(text)); }

Scratch::Scratch() {
  static unsigned counter = 0;
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  path_.assign(temp, n);
  if (!path_.empty() && path_.back() == L'\\') path_.pop_back();
  path_ += L"\\qxengine_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  CreateDirectoryW(path_.c_str(), nullptr);
}

Scratch::~Scratch() { RemoveTree(path_); }

std::wstring FromUtf8(const std::string& s) {
  std::wstring out(s.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? n : 0);
  return out;
}

std::u16string U(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::u16string U(const wchar_t* text) { return text ? U(std::wstring(text)) : u"(null)"; }

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
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
  return true;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

std::string PackageLanguageTable() {
  std::string bytes;
  ReadBytes(WinePath(QX_PACKAGE_DIR "/qxlng.dat"), bytes);
  return bytes;
}

void UseDeliverablesFolder() { SetDllDirectoryW(WinePath(QX_BIN_DIR).c_str()); }

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

}  // namespace enginetest
