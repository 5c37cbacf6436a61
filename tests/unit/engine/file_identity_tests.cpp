// common/file_identity.h under Wine: every spelling of a file or folder
// names it, and only it; missing files are compared in their full long form.
#define DOCTEST_CONFIG_IMPLEMENT
#include <windows.h>

#include <string>

#include "common/file_identity.h"
#include "doctest_text.h"
#include "test_support.h"

using namespace qxtest;

namespace {

constexpr size_t kCapacity = 1024;

std::wstring ShortForm(const std::wstring& path) {
  wchar_t out[MAX_PATH];
  const DWORD n = GetShortPathNameW(path.c_str(), out, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(out, n) : std::wstring();
}

std::wstring Upper(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

TEST_CASE("file identity: short forms, case, prefixes and relative paths name the same file") {
  Scratch dir;
  const std::wstring folder = dir.file(L"Long Folder Name");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\uninstall program.exe", other = folder + L"\\uninstall program.log";
  WriteBytes(file, "x");
  WriteBytes(other, "y");
  const std::wstring short_file = ShortForm(file), missing = folder + L"\\missing file.txt";
  REQUIRE(short_file != file);
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  SetCurrentDirectoryW(folder.c_str());

  struct Case {
    std::wstring a, b;
    bool same;
  } cases[] = {
      {file, file, true},
      {file, short_file, true},
      {file, Upper(file), true},
      {file, L"\\\\?\\" + file, true},
      {file, L"uninstall program.exe", true},
      {file, folder + L"\\..\\Long Folder Name\\.\\uninstall program.exe", true},
      {file, other, false},
      {file, folder, false},
      {file, missing, false},
      {folder, ShortForm(folder) + L"\\", true},
      // Not there: the full long forms decide.
      {missing, ShortForm(folder) + L"\\MISSING FILE.txt", true},
      {missing, L"missing file.txt", true},
      {missing, folder + L"\\missing file.tx", false},
  };
  for (const Case& c : cases) {
    CAPTURE(c.a);
    CAPTURE(c.b);
    CHECK(qx::IsSameFile(c.a.c_str(), c.b.c_str()) == c.same);
    CHECK(qx::IsSameFile(c.b.c_str(), c.a.c_str()) == c.same);
  }
  qx::FixedString<wchar_t, kCapacity> long_form;
  REQUIRE(qx::FullLongPath(Upper(ShortForm(folder)).c_str(), long_form));
  // Each component as the file system spells it.
  CHECK(std::wstring(long_form.get()) == folder);

  SetCurrentDirectoryW(current);
}

int main(int argc, char** argv) { return doctest::Context(argc, argv).run(); }
