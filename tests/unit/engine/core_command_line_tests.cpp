// Command-line splitting, the parameter list text, the OS code and the date
// masks.
#include <vector>

#include "engine/core/command_line.h"
#include "engine/core/system_facts.h"
#include "doctest_text.h"

using namespace qx::core;

namespace {

Text T(const char16_t* s) { return Text(s); }

bool Splits(TextView line, std::vector<Text> expected) { return SplitCommandLine(line) == expected; }

}  // namespace

TEST_CASE("command line: program name, spaces, quotes") {
  CHECK(Splits(u"uninstall.exe", {}));
  CHECK(Splits(u"\"C:\\Program Files\\x\\uninstall.exe\"", {}));
  CHECK(Splits(u"\"C:\\a b\\u.exe\"   ", {}));
  CHECK(Splits(u"u.exe a \"b c\"", {u"a", u"b c"}));
  CHECK(Splits(u"\"C:\\a b\\u.exe\" /u \"C:\\dir\\uninstall.exe\" ", {u"/u", u"C:\\dir\\uninstall.exe"}));
  CHECK(Splits(u"u.exe\ta\t\tb", {u"a", u"b"}));
  CHECK(Splits(u"u.exe pre\"mid dle\"post", {u"premid dlepost"}));
  CHECK(Splits(u"u.exe \"\" x", {u"", u"x"}));
  CHECK(Splits(u"u.exe \"open ended", {u"open ended"}));
  CHECK(Splits(u"", {}));
}

TEST_CASE("command line: backslashes and quotes") {
  CHECK(Splits(u"u.exe C:\\dir\\file", {u"C:\\dir\\file"}));
  CHECK(Splits(u"u.exe a\\\\\"b c\"", {u"a\\b c"}));
  CHECK(Splits(u"u.exe a\\\"b", {u"a\"b"}));
  CHECK(Splits(u"u.exe a\\\\\\\"b", {u"a\\\"b"}));
  CHECK(Splits(u"u.exe \"a\"\"b\"", {u"a\"b"}));
  CHECK(Splits(u"u.exe \"C:\\dir\\\\\"", {u"C:\\dir\\"}));
}

TEST_CASE("parameter list quotes only parameters with a space") {
  CHECK_EQ(JoinParameters({}), T(u""));
  CHECK_EQ(JoinParameters({u"a", u"b c"}), T(u"a \"b c\""));
  CHECK_EQ(JoinParameters({u"/u", u"C:\\x\\u.exe", u"tab\there"}), T(u"/u C:\\x\\u.exe tab\there"));
}

TEST_CASE("operating-system codes") {
  auto code = [](uint32_t platform, uint32_t major, uint32_t minor, bool ws, uint32_t wmaj = 0,
                 uint32_t wmin = 0) {
    return OsVersionCode(OsVersion{platform, major, minor, ws, wmaj, wmin});
  };
  CHECK_EQ(code(2, 3, 51, true), 1);
  CHECK_EQ(code(2, 4, 0, true), 2);
  CHECK_EQ(code(2, 5, 0, false), 3);
  CHECK_EQ(code(2, 5, 1, true), 4);
  CHECK_EQ(code(2, 5, 2, true), 4);
  CHECK_EQ(code(2, 5, 2, false), 10);
  CHECK_EQ(code(1, 4, 0, false), 6);
  CHECK_EQ(code(1, 4, 10, false), 7);
  CHECK_EQ(code(1, 4, 90, false), 8);
  CHECK_EQ(code(2, 6, 0, true), 11);
  CHECK_EQ(code(2, 6, 0, false), 12);
  CHECK_EQ(code(2, 6, 1, true), 13);
  CHECK_EQ(code(2, 6, 1, false, 6, 1), 0);
  CHECK_EQ(code(2, 6, 2, false), 14);
  CHECK_EQ(code(2, 6, 2, true, 6, 2), 15);
  CHECK_EQ(code(2, 6, 3, true, 6, 3), 16);
  CHECK_EQ(code(2, 10, 0, true, 6, 4), 17);
  CHECK_EQ(code(2, 10, 0, true, 10, 0), 0);
  CHECK_EQ(code(0, 0, 0, false), 0);
}

TEST_CASE("date masks") {
  LocalDateTime when{2026, 3, 7, 9, 5, 0};
  CHECK_EQ(FormatDateTime(u"%yyyy%mm%dd", when), T(u"20260307"));
  CHECK_EQ(FormatDateTime(u"%yyyy%mm%dd %hh:%ii:%ss", when), T(u"20260307 09:05:00"));
  CHECK_EQ(FormatDateTime(u"%y 100%", when), T(u"%y 100%"));
}
