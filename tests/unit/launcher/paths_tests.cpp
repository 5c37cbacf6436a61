// Path helpers and the entry-name check.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "test_support.h"
#include "uninstall/entry_name.h"
#include "uninstall/paths.h"

using namespace qxtest;

namespace {

std::string Stripped(const wchar_t* text) {
  qx::PathBuffer path;
  CHECK(path.assign(text));
  qx::StripFileName(path);
  CHECK_EQ(path.length(), std::wstring(path.get()).size());
  return Utf8(path.get());
}

}  // namespace

TEST_CASE("StripFileName keeps the folder part without its separator") {
  CHECK_EQ(Stripped(L"C:\\Program Files\\App\\uninstall.exe"), std::string("C:\\Program Files\\App"));
  CHECK_EQ(Stripped(L"C:name.exe"), std::string("C:"));
  CHECK_EQ(Stripped(L"uninstall.exe"), std::string(""));
  CHECK_EQ(Stripped(L"a/b/c.exe"), std::string("a/b"));
  // A backslash anywhere wins over a later "/".
  CHECK_EQ(Stripped(L"a\\b/c.exe"), std::string("a"));
  CHECK_EQ(Stripped(L"C:\\"), std::string("C:"));
  CHECK_EQ(Stripped(L""), std::string(""));
}

TEST_CASE("PathExists matches files, folders and wildcards, not a trailing backslash") {
  Scratch dir;
  CHECK(WriteBytes(dir.file(L"file.txt"), "x"));
  CHECK(CreateDirectoryW(dir.file(L"sub").c_str(), nullptr));
  CHECK(qx::PathExists(dir.file(L"file.txt").c_str()));
  CHECK(qx::PathExists(dir.file(L"sub").c_str()));
  CHECK(qx::PathExists(dir.file(L"*.txt").c_str()));
  CHECK(qx::PathExists(dir.file(L"fi?e.*").c_str()));
  CHECK(!qx::PathExists(dir.file(L"*.bin").c_str()));
  CHECK(!qx::PathExists(dir.file(L"missing").c_str()));
  CHECK(!qx::PathExists(dir.file(L"sub\\").c_str()));
}

TEST_CASE("CreateFolderPath creates every missing level") {
  Scratch dir;
  std::wstring deep = dir.file(L"one\\two\\three");
  CHECK_EQ(qx::CreateFolderPath(deep.c_str()), 0ul);
  CHECK(IsFolder(dir.file(L"one")));
  CHECK(IsFolder(dir.file(L"one\\two")));
  CHECK(IsFolder(deep));
  // Already there: still 0.
  CHECK_EQ(qx::CreateFolderPath(deep.c_str()), 0ul);
}

TEST_CASE("CreateFolderPath takes both separators and a trailing one") {
  Scratch dir;
  std::wstring mixed = dir.file(L"a/b\\c/");
  CHECK_EQ(qx::CreateFolderPath(mixed.c_str()), 0ul);
  CHECK(IsFolder(dir.file(L"a\\b\\c")));
  std::wstring trailing = dir.file(L"x\\y\\");
  CHECK_EQ(qx::CreateFolderPath(trailing.c_str()), 0ul);
  CHECK(IsFolder(dir.file(L"x\\y")));
  // The caller's text stays as it was.
  CHECK(mixed == dir.file(L"a/b\\c/"));
}

TEST_CASE("CreateFolderPath on an existing file is 0 and leaves the file") {
  Scratch dir;
  CHECK(WriteBytes(dir.file(L"plain"), "data"));
  CHECK_EQ(qx::CreateFolderPath(dir.file(L"plain").c_str()), 0ul);
  CHECK(!IsFolder(dir.file(L"plain")));
  CHECK_EQ(ReadBytes(dir.file(L"plain")), std::string("data"));
}

TEST_CASE("CreateFolderPath reports the final level's error") {
  Scratch dir;
  CHECK(WriteBytes(dir.file(L"plain"), "data"));
  // A folder below a file cannot be made.
  CHECK(qx::CreateFolderPath(dir.file(L"plain\\below").c_str()) != 0ul);
  CHECK(!FileExists(dir.file(L"plain\\below")));
}

TEST_CASE("CreateFolderPath refuses paths of 260 characters or more") {
  Scratch dir;
  std::wstring base = dir.file(L"long\\");
  std::wstring at_limit = base + std::wstring(260 - base.size(), L'n');
  CHECK_EQ(at_limit.size(), size_t{260});
  CHECK_EQ(qx::CreateFolderPath(at_limit.c_str()), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  CHECK(!FileExists(base));
  std::wstring below_limit = at_limit.substr(0, 259);
  CHECK_EQ(qx::CreateFolderPath(below_limit.c_str()), 0ul);
  CHECK(IsFolder(below_limit));
}

TEST_CASE("Entry names inside the folder are accepted") {
  for (const wchar_t* name : {L"QXCore.dll", L"data/a.txt", L"data\\sub\\b.txt", L"a..b", L".hidden", L"./x",
                              L"x.", L"COMMAND.COM", L"console.txt", L"com0", L"lpt10", L"nul_device"}) {
    if (!qx::IsContainedEntryName(name)) FAIL_CHECK("refused " << Utf8(name));
  }
}

TEST_CASE("Entry names that leave the folder are refused") {
  for (const wchar_t* name : {L"../x", L"..\\x", L"a/../../x", L"a\\..", L"..", L"/x", L"\\x", L"\\\\server\\s\\x",
                              L"C:\\x", L"C:x", L"x:stream", L"a/. ./b", L"...", L"a/.. /b", L"CON", L"con.txt",
                              L"sub/NUL", L"aux .txt", L"COM1", L"lpt9.log", L"CONIN$"}) {
    if (qx::IsContainedEntryName(name)) FAIL_CHECK("accepted " << Utf8(name));
  }
}

