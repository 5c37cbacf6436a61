// The uninstall start-up rules: the log beside the program, the copy's
// parameter text, the log header, the file-properties file and CRC-32.
#include <string>
#include <vector>

#include "engine/core/command_line.h"
#include "engine/core/crc32.h"
#include "engine/core/file_property_table.h"
#include "engine/core/lines.h"
#include "doctest_text.h"
#include "engine/core/uninstall_start_rules.h"
#include "engine/core/user_switches.h"

using namespace qx::core;

namespace {

Text T(const char16_t* s) { return Text(s); }

LogHeader Header(const std::string& bytes, TextView title = u"Orvella_Installation") {
  return ReadLogHeader(bytes, title);
}

}  // namespace

TEST_CASE("log path: the file name's extension becomes log") {
  CHECK_EQ(LogPathFor(u"C:\\Program Files\\Orvella\\uninst.exe"), T(u"C:\\Program Files\\Orvella\\uninst.log"));
  CHECK_EQ(LogPathFor(u"C:\\a\\UNINST.EXE"), T(u"C:\\a\\UNINST.log"));
  CHECK_EQ(LogPathFor(u"C:\\a\\setup.v2.exe"), T(u"C:\\a\\setup.v2.log"));
  CHECK_EQ(LogPathFor(u"C:\\a\\u.x"), T(u"C:\\a\\u.log"));
  CHECK_EQ(LogPathFor(u"C:\\a\\uninst."), T(u"C:\\a\\uninst.log"));
  CHECK_EQ(LogPathFor(u"uninst.exe"), T(u"uninst.log"));
  // A "." in a folder name is not the file's extension.
  CHECK_EQ(LogPathFor(u"C:\\my.app\\uninst"), T(u"C:\\my.app\\uninst.log"));
  CHECK_EQ(LogPathFor(u"Z:/my.app/uninst"), T(u"Z:/my.app/uninst.log"));
  CHECK_EQ(LogPathFor(u"Z:/my.app/x.exe"), T(u"Z:/my.app/x.log"));
  CHECK_EQ(LogPathFor(u""), T(u".log"));
}

TEST_CASE("switches: the copy's own two, /S anywhere, the first /LOG=, and every parameter back intact") {
  const struct {
    const char16_t* line;
    bool copy, silent;
    const char16_t* installed;
    const char16_t* record;
  } rows[] = {
      {u"u.exe /S", false, true, u"", u""},
      {u"u.exe /LOG=C:\\x.txt /s", false, true, u"", u"C:\\x.txt"},
      {u"u.exe /NORESTART /S", false, true, u"", u""},
      {u"u.exe /SILENT S \"/log=a b\" /LOG=b", false, false, u"", u"a b"},
      {u"t.tmp /u \"C:\\Program Files\\u.exe\" /x /S", true, true, u"C:\\Program Files\\u.exe", u""},
      // "/u" and the uninstaller's path are the copy's, never the user's.
      {u"t.tmp /u /S", true, false, u"/S", u""},
      {u"u.exe /U /S", false, true, u"", u""},
  };
  for (const auto& row : rows) {
    UserSwitches<TextBuffer> s;
    ReadUserSwitches(row.line, s);
    CHECK_EQ(s.copy, row.copy);
    CHECK_EQ(s.silent, row.silent);
    CHECK_EQ(s.installed_uninstaller.text, T(row.installed));
    CHECK_EQ(s.record_path.text, T(row.record));
  }

  // Split again, the copy's parameters are the first stage's, whatever they hold.
  using P = std::vector<Text>;
  const P given{u"/S", u"/LOG=C:\\my logs\\", u"a\\\"b", u"q\"x y", u"", u"tab\tx", u"\\\\", u"x\\"};
  Text first_stage = u"u.exe";
  for (const Text& parameter : given) {
    first_stage.push_back(u' ');
    AppendParameter(first_stage, parameter);
  }
  CHECK_EQ(SplitCommandLine(first_stage), given);
  const Text line = u"\"C:\\t.tmp\" " + RelaunchParameters(u"C:\\Jane Doe\\u.exe", first_stage, u"");
  P expected{u"/u", u"C:\\Jane Doe\\u.exe"};
  expected.insert(expected.end(), given.begin(), given.end());
  CHECK_EQ(SplitCommandLine(line), expected);
  // A relative record path is handed on as the first stage resolved it.
  CHECK_EQ(SplitCommandLine(u"t " + RelaunchParameters(u"C:\\u.exe", u"u.exe /LOG=r.txt /LOG=s.txt", u"D:\\r.txt")),
           (P{u"/u", u"C:\\u.exe", u"/LOG=D:\\r.txt", u"/LOG=s.txt"}));
}

TEST_CASE("title line: leading part of the title, any case, empty matches") {
  CHECK(TitleLineMatches(u"Orvella_Installation", u"Orvella_Installation"));
  CHECK(TitleLineMatches(u"orvella_INSTALLATION", u"Orvella_Installation"));
  CHECK(TitleLineMatches(u"Orvella", u"Orvella_Installation"));
  CHECK(TitleLineMatches(u"", u"Orvella_Installation"));
  CHECK(TitleLineMatches(u"", u""));
  CHECK(!TitleLineMatches(u"Orvella_Installation2", u"Orvella_Installation"));
  CHECK(!TitleLineMatches(u"Installation", u"Orvella_Installation"));
  CHECK(!TitleLineMatches(u"x", u""));
  // Only A-Z fold.
  CHECK(!TitleLineMatches(u"\u00c9t\u00e9", u"\u00e9t\u00e9"));
}

TEST_CASE("language line: decimal, 0 and no number give 1033") {
  CHECK_EQ(LanguageFromLine(u"1036"), 1036);
  CHECK_EQ(LanguageFromLine(u"  +1031"), 1031);
  CHECK_EQ(LanguageFromLine(u"-5"), -5);
  CHECK_EQ(LanguageFromLine(u"0"), 1033);
  CHECK_EQ(LanguageFromLine(u""), 1033);
  CHECK_EQ(LanguageFromLine(u"English"), 1033);
  CHECK_EQ(LanguageFromLine(u"1049 Russian"), 1049);
}

TEST_CASE("log header: found after junk, its fields, trimming, UTF-8") {
  LogHeader h = Header("junk\r\n\r\n  [qxuninst]extra \r\n\r\n  Orvella  \r\n1036\r\n  D:\\x\r\n[Files]\r\n");
  CHECK(h.status == LogHeaderStatus::kValid);
  CHECK_EQ(h.language, 1036);
  CHECK_EQ(h.install_folder, T(u"D:\\x"));

  // The first header line counts: the next one is the format number even
  // when it looks like a header too.
  h = Header("[QXUninst]\r\n[QXUninst]\r\nOrvella\r\n1049\r\nE:\\y\r\n");
  CHECK(h.status == LogHeaderStatus::kValid);
  CHECK_EQ(h.language, 1049);
  CHECK_EQ(h.install_folder, T(u"E:\\y"));

  h = Header("; written by the installer\n\n[QXUNINST]\n2\nOrvella_Installation\n0\n"
             "  C:\\Program Files\\Orvella \xc3\xa9 \n");
  CHECK(h.status == LogHeaderStatus::kValid);
  CHECK_EQ(h.language, 1033);
  CHECK_EQ(h.install_folder, T(u"C:\\Program Files\\Orvella \u00e9"));

  h = Header("[QXUninst]\r\n1\r\n\r\n1031\r\nD:\\x\r\n");
  CHECK(h.status == LogHeaderStatus::kValid);
  CHECK_EQ(h.language, 1031);
  CHECK_EQ(h.install_folder, T(u"D:\\x"));

  // Missing language and folder lines read as empty.
  h = Header("[QXUninst]\n1\nOrvella");
  CHECK(h.status == LogHeaderStatus::kValid);
  CHECK_EQ(h.language, 1033);
  CHECK_EQ(h.install_folder, T(u""));
}

TEST_CASE("log header: missing header, wrong or missing title") {
  CHECK(Header("").status == LogHeaderStatus::kNoHeader);
  CHECK(Header("[QXUnins]\r\n1\r\nOrvella\r\n").status == LogHeaderStatus::kNoHeader);
  CHECK(Header("x[QXUninst]\r\n1\r\nOrvella\r\n").status == LogHeaderStatus::kNoHeader);
  CHECK(Header("[QXUninst]\r\n1\r\nOtherApp\r\n1033\r\nC:\\\r\n").status == LogHeaderStatus::kTitleMismatch);
  CHECK(Header("[QXUninst]\r\n1\r\nOrvella_Installation_Pro\r\n").status == LogHeaderStatus::kTitleMismatch);
  // The title line is the one after the format line, not the format line.
  CHECK(Header("[QXUninst]\r\nOrvella\r\nx\r\n").status == LogHeaderStatus::kTitleMismatch);
  // A log cut off before its title line is not a valid log.
  CHECK(Header("[QXUninst]\r\n1\r\n").status == LogHeaderStatus::kTitleMismatch);
  CHECK(Header("[QXUninst]").status == LogHeaderStatus::kTitleMismatch);
  // A NUL byte ends a line like a line break does.
  CHECK(Header(std::string("[QXUninst]\0" "1\0" "Orvella\0", 21)).status == LogHeaderStatus::kValid);
}

TEST_CASE("whole lines: a cut text keeps only the lines that ended") {
  CHECK_EQ(WholeLines("[QXUninst]\r\n1\r\nOrv"), std::string_view("[QXUninst]\r\n1\r\n"));
  CHECK_EQ(WholeLines("a\rb"), std::string_view("a\r"));
  CHECK_EQ(WholeLines(std::string_view("a\0b", 3)), std::string_view("a\0", 2));
  CHECK_EQ(WholeLines("no line end"), std::string_view());
  // A cut title line is no title: the header is then refused, never misread.
  CHECK(Header(std::string(WholeLines("[QXUninst]\r\n1\r\nOrvella_Installation"))).status ==
        LogHeaderStatus::kTitleMismatch);
}

TEST_CASE("file properties: records, comments, overwritten keys, short tail") {
  FilePropertyTable table;
  ParseFileProperties(
      "; file properties\r\n"
      "bin\\a.dll\r\n  %SYS%  \r\n%ISADMIN%\r\n\r\n1\r\n"
      "  ;not a record\r\n"
      "\r\n"
      "readme.txt\r\n\r\n\r\n%X%\r\n0\r\n"
      "Bin\\A.dll\r\nother\r\n\r\n\r\n 1 \r\n"
      "bin\\a.dll\r\n%WIN%\r\n;kept\r\n\r\nyes\r\n"
      "tail.txt\r\nD:\\t",
      table);
  CHECK_EQ(table.size(), size_t(4));
  const FileProperty* a = table.Find(u"bin\\a.dll");
  CHECK(a != nullptr);
  if (a) {
    // Overwritten by the later record; a ";" inside a record is data.
    CHECK_EQ(a->redirection, T(u"%WIN%"));
    CHECK_EQ(a->condition1, T(u";kept"));
    CHECK_EQ(a->condition2, T(u""));
    CHECK(!a->not_logged);
  }
  const FileProperty* upper = table.Find(u"Bin\\A.dll");
  CHECK((upper && upper->redirection == u"other" && upper->not_logged));
  const FileProperty* readme = table.Find(u"readme.txt");
  CHECK((readme && readme->redirection.empty() && readme->condition2 == u"%X%" && !readme->not_logged));
  const FileProperty* tail = table.Find(u"tail.txt");
  CHECK((tail && tail->redirection == u"D:\\t" && tail->condition1.empty() && !tail->not_logged));
  CHECK(table.Find(u"BIN\\A.DLL") == nullptr);
  CHECK(table.Find(u";not a record") == nullptr);

  table.Clear();
  CHECK_EQ(table.size(), size_t(0));
  CHECK(table.Find(u"readme.txt") == nullptr);
}

TEST_CASE("file properties: many keys across the buckets stay distinct") {
  std::string bytes;
  for (int i = 0; i < 2000; ++i) bytes += "f" + std::to_string(i) + "\r\nr" + std::to_string(i) + "\r\n\r\n\r\n0\r\n";
  FilePropertyTable table;
  ParseFileProperties(bytes, table);
  CHECK_EQ(table.size(), size_t(2000));
  bool all = true;
  for (int i = 0; i < 2000; ++i) {
    const std::string n = std::to_string(i);
    const FileProperty* p = table.Find(Text(u"f") + Text(n.begin(), n.end()));
    all = all && p && p->redirection == Text(u"r") + Text(n.begin(), n.end());
  }
  CHECK(all);
}

TEST_CASE("file decision: skip, redirect, default") {
  FilePropertyTable table;
  ParseFileProperties(
      "bin\\a.dll\r\n%TARGET%\r\n\r\n\r\n0\r\n"
      "bin\\skip.dll\r\n%TARGET%\r\n%ONE%\r\n%ZERO%\r\n0\r\n"
      "bin\\keep.dll\r\n%TARGET%\r\n%ONE%\r\n%EMPTY%\r\n0\r\n"
      "bin\\nowhere.dll\r\n%EMPTY%\r\n\r\n\r\n0\r\n"
      "c.txt\r\nD:\\slash\\\r\n\r\n\r\n0\r\n",
      table);
  auto expand = [](TextView t) -> Text {
    if (t == u"%TARGET%") return u"D:\\shared";
    if (t == u"%ONE%") return u"1";
    if (t == u"%ZERO%") return u"0";
    if (t == u"%EMPTY%") return u"";
    return Text(t);
  };
  Text out = u"untouched";
  CHECK(DecideFile(table, u"C:\\App\\bin\\a.dll", u"C:\\App", expand, out) == FileDecision::kRedirect);
  CHECK_EQ(out, T(u"D:\\shared\\a.dll"));
  // The installation folder matches without regard to case, with or without
  // its trailing backslash.
  CHECK(DecideFile(table, u"c:\\app\\bin\\a.dll", u"C:\\App\\", expand, out) == FileDecision::kRedirect);
  CHECK(DecideFile(table, u"C:\\App\\c.txt", u"C:\\App", expand, out) == FileDecision::kRedirect);
  CHECK_EQ(out, T(u"D:\\slash\\c.txt"));
  out = u"untouched";
  CHECK(DecideFile(table, u"C:\\App\\bin\\skip.dll", u"C:\\App", expand, out) == FileDecision::kSkip);
  CHECK(DecideFile(table, u"C:\\App\\bin\\keep.dll", u"C:\\App", expand, out) == FileDecision::kRedirect);
  CHECK(DecideFile(table, u"C:\\App\\bin\\nowhere.dll", u"C:\\App", expand, out) == FileDecision::kDefault);
  CHECK(DecideFile(table, u"C:\\App\\bin\\other.dll", u"C:\\App", expand, out) == FileDecision::kDefault);
  CHECK(DecideFile(table, u"C:\\App\\BIN\\A.DLL", u"C:\\App", expand, out) == FileDecision::kDefault);
  CHECK_EQ(out, T(u"D:\\shared\\keep.dll"));
}

TEST_CASE("relative path and file name") {
  CHECK_EQ(RelativeToInstallFolder(u"C:\\App\\bin\\a.dll", u"C:\\App"), T(u"bin\\a.dll"));
  CHECK_EQ(RelativeToInstallFolder(u"C:\\App\\bin\\a.dll", u"c:\\app\\"), T(u"bin\\a.dll"));
  CHECK_EQ(RelativeToInstallFolder(u"D:\\Other\\a.dll", u"C:\\App"), T(u"D:\\Other\\a.dll"));
  // An empty folder must not strip every backslash.
  CHECK_EQ(RelativeToInstallFolder(u"C:\\App\\a.dll", u""), T(u"C:\\App\\a.dll"));
  CHECK_EQ(Text(FileNamePart(u"C:\\App\\bin\\a.dll")), T(u"a.dll"));
  CHECK_EQ(Text(FileNamePart(u"a.dll")), T(u"a.dll"));
  CHECK_EQ(Text(FileNamePart(u"x/y.txt")), T(u"y.txt"));
}

TEST_CASE("CRC-32 and its text") {
  Crc32 crc;
  CHECK_EQ(crc.value(), 0u);
  crc.Update("123456789", 9);
  CHECK_EQ(crc.value(), 0xCBF43926u);
  Crc32 pieces;
  pieces.Update("1234", 4);
  pieces.Update("", 0);
  pieces.Update("56789", 5);
  CHECK_EQ(pieces.value(), 0xCBF43926u);
  Crc32 fox;
  fox.Update("The quick brown fox jumps over the lazy dog", 43);
  CHECK_EQ(fox.value(), 0x414FA339u);
  CHECK_EQ(HexText(0xCBF43926u), T(u"CBF43926"));
  CHECK_EQ(HexText(0x0000ABCu), T(u"ABC"));
  CHECK_EQ(HexText(0), T(u"0"));
  CHECK_EQ(HexText(0xFFFFFFFFu), T(u"FFFFFFFF"));
}

