// The restart-rename fallback on real files, and EXITCODE's conversion.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "test_support.h"
#include "uninstall/restart_delete.h"
#include "uninstall/uninstall_script.h"

using namespace qxtest;

namespace {

const char kLine[] = "NUL=C:\\APP\\LOCKED.DLL\r\n";

// The file after one entry was added to |before|.
std::string AfterEntry(const std::string& before) {
  Scratch folder;
  const std::wstring file = folder.file(L"wininit.ini");
  if (!before.empty()) WriteBytes(file, before);
  CHECK(qx::AddRenameLine(file.c_str(), kLine, sizeof kLine - 1));
  std::string after;
  ReadBytes(file, after);
  return after;
}

}  // namespace

TEST_CASE("the entry goes before the next section, at the section's end, or into a new section") {
  CHECK_EQ(AfterEntry("[Rename]\r\nNUL=C:\\OLD\r\n[Other]\r\nkey=1\r\n"),
           std::string("[Rename]\r\nNUL=C:\\OLD\r\n") + kLine + "[Other]\r\nkey=1\r\n");
  // At the end, joined to a last line without its break.
  CHECK_EQ(AfterEntry("[Other]\r\nkey=1\r\n[Rename]\r\nNUL=C:\\OLD"),
           std::string("[Other]\r\nkey=1\r\n[Rename]\r\nNUL=C:\\OLD") + kLine);
  CHECK_EQ(AfterEntry("[Other]\r\nkey=1"), std::string("[Other]\r\nkey=1[Rename]\r\n") + kLine);
  CHECK_EQ(AfterEntry(""), std::string("[Rename]\r\n") + kLine);
}

TEST_CASE("the header matches in any case, but only with CR LF after it") {
  CHECK_EQ(AfterEntry("[rename]\r\n[x]\r\n"), std::string("[rename]\r\n") + kLine + "[x]\r\n");
  CHECK_EQ(AfterEntry("[Rename]\n[x]\r\n"), std::string("[Rename]\n[x]\r\n[Rename]\r\n") + kLine);
}

TEST_CASE("text search folds case and finds nothing past the end") {
  const char text[] = "ab[RENAME]\r\n";
  CHECK_EQ(qx::FindTextNoCase(text, 12, "[rename]\r\n"), size_t(2));
  CHECK_EQ(qx::FindTextNoCase(text, 12, "\n["), size_t(12));
  CHECK_EQ(qx::FindTextNoCase(text, 12, "[rename]\r\n", 3), size_t(12));
  CHECK_EQ(qx::FindTextNoCase(text, 5, "[rename]"), size_t(5));
}

TEST_CASE("the fallback writes nothing for a file without a short name") {
  Scratch folder;
  // No engine is loaded here, so reaching the Windows folder would fail
  // loudly: the missing file must end the fallback first.
  qx::AddRenameSectionEntry(folder.file(L"missing.dll").c_str());
  CHECK(!FileExists(folder.file(L"wininit.ini")));
}

TEST_CASE("EXITCODE converts like an unsigned long, -1 past 32 bits") {
  CHECK_EQ(qx::ExitCodeValue(L"0"), 0);
  CHECK_EQ(qx::ExitCodeValue(L" -5"), -5);
  CHECK_EQ(qx::ExitCodeValue(L"12ab"), 12);
  CHECK_EQ(qx::ExitCodeValue(L"ab"), 0);
  CHECK_EQ(qx::ExitCodeValue(L"4294967295"), -1);
  CHECK_EQ(qx::ExitCodeValue(L"99999999999"), -1);
}
