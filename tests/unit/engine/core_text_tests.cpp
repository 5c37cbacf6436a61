// Text helpers: A-Z folding, find and replace, numbers, trimming, UTF-8 and
// line splitting.
#include <string>

#include "engine/core/lines.h"
#include "doctest_text.h"
#include "engine/core/text.h"

using namespace qx::core;

namespace {
Text T(const char16_t* s) { return Text(s); }
}

TEST_CASE("find folds only the letters A to Z") {
  CHECK_EQ(FindNoCase(u"say #UNINSTALLprompt", u"#uninstallPROMPT"), size_t(4));
  CHECK_EQ(FindNoCase(u"abc", u"abcd"), kNotFound);
  CHECK_EQ(FindNoCase(u"aBc", u"AbC"), size_t(0));
  CHECK_EQ(FindNoCase(u"abc", u"abd"), kNotFound);
  CHECK_EQ(FindNoCase(u"abc", u""), kNotFound);
  CHECK_EQ(FindNoCase(u"xax", u"X", 1), size_t(2));
  // Letters beyond A-Z keep their case: \u00c4 and \u00e4 differ.
  CHECK_EQ(FindNoCase(u"\u00e4", u"\u00c4"), kNotFound);
  // "[" and "{" sit 32 apart like the letters, but are not letters.
  CHECK_EQ(FindNoCase(u"{", u"["), kNotFound);
  CHECK(EqualNoCase(u"%IsAdmin%", u"%ISADMIN%"));
  CHECK(!EqualNoCase(u"%ISADMIN", u"%ISADMIN%"));
  CHECK(StartsWithNoCase(u"[qxuninst] rest", u"[QXUninst]"));
  CHECK(!StartsWithNoCase(u"[QXUnin", u"[QXUninst]"));
}

TEST_CASE("replace runs left to right and skips its own insertions") {
  Text scratch;
  Text s = u"aAa";
  CHECK_EQ(ReplaceAllNoCase(s, u"a", u"aa", scratch), size_t(3));
  CHECK_EQ(s, T(u"aaaaaa"));
  // Overlapping candidates: the match at 0 consumes the one at 1.
  s = u"xxx";
  CHECK_EQ(ReplaceAllNoCase(s, u"xx", u"y", scratch), size_t(1));
  CHECK_EQ(s, T(u"yx"));
  s = u"none here";
  CHECK_EQ(ReplaceAllNoCase(s, u"zz", u"y", scratch), size_t(0));
  CHECK_EQ(s, T(u"none here"));
  s = u"A/$b/$";
  CHECK_EQ(ReplaceAllExact(s, u"/$", u"\r\n", scratch), size_t(2));
  CHECK_EQ(s, T(u"A\r\nb\r\n"));
  s = u"Ab";
  CHECK_EQ(ReplaceAllExact(s, u"ab", u"-", scratch), size_t(0));
  CHECK_EQ(ReplaceAllExact(s, u"", u"-", scratch), size_t(0));
  CHECK_EQ(s, T(u"Ab"));
}

TEST_CASE("numbers: decimal, hexadecimal, binary, signs and spaces") {
  CHECK_EQ(ReadNumber(u"1033"), 1033);
  CHECK_EQ(ReadNumber(u" \t 42abc"), 42);
  CHECK_EQ(ReadNumber(u"-17"), -17);
  CHECK_EQ(ReadNumber(u"+8"), 8);
  CHECK_EQ(ReadNumber(u"$1F"), 31);
  CHECK_EQ(ReadNumber(u"$ff"), 255);
  CHECK_EQ(ReadNumber(u"-$10"), -16);
  CHECK_EQ(ReadNumber(u"%1012"), 5);
  CHECK_EQ(ReadNumber(u"$fg"), 15);
  CHECK_EQ(ReadNumber(u""), 0);
  CHECK_EQ(ReadNumber(u"English"), 0);
  CHECK_EQ(ReadNumber(u"$"), 0);
  CHECK_EQ(ReadNumber(u"--5"), 0);
  CHECK_EQ(ReadNumber(u" - 5"), 0);
  CHECK_EQ(ReadNumber(u"$FFFFFFFF"), -1);
  CHECK_EQ(ReadNumber(u"4294967297"), 1);
  CHECK_EQ(ReadNumber(u"-2147483648"), int32_t(-2147483647 - 1));
}

TEST_CASE("decimal text and trimming") {
  CHECK_EQ(DecimalText(0), T(u"0"));
  CHECK_EQ(DecimalText(-2147483648LL), T(u"-2147483648"));
  CHECK_EQ(DecimalText(1033), T(u"1033"));
  CHECK_EQ(DecimalText(4294967296LL), T(u"4294967296"));
  CHECK_EQ(DecimalText(INT64_MIN), T(u"-9223372036854775808"));
  CHECK_EQ(Text(TrimSpaces(TextView(u"  #ok=&OK  "))), T(u"#ok=&OK"));
  CHECK_EQ(Text(TrimSpaces(TextView(u"\tx \t"))), T(u"\tx \t"));
  CHECK_EQ(Text(TrimSpaces(TextView(u"    "))), T(u""));
  CHECK_EQ(Text(WithoutTrailingBackslash(u"C:\\tmp\\\\")), T(u"C:\\tmp\\"));
  CHECK_EQ(Text(WithoutTrailingBackslash(u"C:\\tmp")), T(u"C:\\tmp"));
  CHECK_EQ(Text(WithoutTrailingBackslash(u"")), T(u""));
}

TEST_CASE("UTF-8 round trip, surrogates and malformed input") {
  const std::string utf8 = "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  const Text utf16 = u"A\u00e9\u20ac\U0001F600";
  CHECK_EQ(Utf8ToUtf16(utf8), utf16);
  CHECK_EQ(Utf16ToUtf8(utf16), utf8);
  CHECK_EQ(Utf8ToUtf16("\xff" "a"), T(u"\ufffda"));
  CHECK_EQ(Utf8ToUtf16("\xc0\xaf"), T(u"\ufffd"));      // overlong
  CHECK_EQ(Utf8ToUtf16("\xed\xa0\x80"), T(u"\ufffd"));  // encoded surrogate
  CHECK_EQ(Utf8ToUtf16("a\xe2\x82"), T(u"a\ufffd"));    // cut at the end
  CHECK_EQ(Utf8ToUtf16("\xe2\x82z"), T(u"\ufffdz"));
  CHECK_EQ(Utf16ToUtf8(Text(1, char16_t(0xD800)) + u"x"), std::string("\xef\xbf\xbdx"));
}

TEST_CASE("lines end at CR, LF, CR LF or NUL") {
  std::string bytes("a\r\nb\rc\nd", 8);
  bytes += std::string("\0e\n\r\nf", 6);
  LineReader reader(bytes);
  std::string_view line;
  const char* expected[] = {"a", "b", "c", "d", "e", "", "f"};
  for (const char* e : expected) {
    CHECK(reader.Next(line));
    CHECK_EQ(std::string(line), std::string(e));
  }
  CHECK(!reader.Next(line));
  CHECK(!reader.Next(line));

  LineReader trailing("x\r\n");
  CHECK(trailing.Next(line));
  CHECK(!trailing.Next(line));

  LineReader trimmed("  caf\xc3\xa9  \r\n");
  Text text;
  CHECK(trimmed.NextTrimmed(text));
  CHECK_EQ(text, T(u"caf\u00e9"));
  CHECK(!trimmed.NextTrimmed(text));
  CHECK_EQ(text, T(u""));
}
