// Helpers of the Windows test programs: scratch folders, whole-file reads and
// writes, UTF-8 text, and where this program, its fixtures and the
// deliverables are.
#pragma once

#include <windows.h>

#include <string>

namespace qxtest {

// A fresh folder under the temporary folder, removed with everything in it.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  // Without a trailing backslash.
  const std::wstring& path() const { return path_; }
  // With a trailing backslash, as the launcher keeps its folders.
  std::wstring dir() const { return path_ + L"\\"; }
  std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string& bytes);
// The whole file, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// This test program's own path, and its folder with a trailing backslash.
std::wstring SelfPath();
std::wstring ProgramFolder();
// Archives made with 7zz at build time, beside the test programs.
std::wstring Fixture(const wchar_t* name);
// The deliverables: <build>/bin beside <build>/win/tests.
std::wstring Deliverable(const wchar_t* name);

}  // namespace qxtest
