// Text helpers of the engine: UTF-16 text held as char16_t, with no platform
// calls, so the same code runs inside the library and in native tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx::core {

using Text = std::u16string;
using TextView = std::u16string_view;
constexpr size_t kNotFound = TextView::npos;

// Folds A-Z to a-z and leaves every other character as it is: names and keys
// match without regard to the case of these 26 letters only.
constexpr char16_t FoldAZ(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualNoCase(TextView a, TextView b);
bool StartsWithNoCase(TextView text, TextView prefix);
// Position of the first match of |what| at or after |from|, or kNotFound.
// An empty |what| is never found.
size_t FindNoCase(TextView text, TextView what, size_t from = 0);

// Replaces every occurrence of |what| in |text|, scanning left to right and
// continuing after each inserted text. |scratch| is working room the caller
// keeps between calls, so repeated replacements reuse one allocation. Returns
// the number of replacements; an empty |what| replaces nothing.
size_t ReplaceAllNoCase(Text& text, TextView what, TextView with, Text& scratch);
size_t ReplaceAllExact(Text& text, TextView what, TextView with, Text& scratch);

// Reads an integer the way every numeric text of the engine is read: spaces
// and tabs first, one sign, then "$" and hexadecimal digits, "%" and binary
// digits, or decimal digits, up to the first character that does not fit. No
// digits gives 0; the value wraps to 32 bits.
int32_t ReadNumber(TextView text);

Text DecimalText(int64_t value);

// Strips U+0020 at both ends (tabs and other white space stay).
TextView TrimSpaces(TextView text);
std::string_view TrimSpaces(std::string_view text);

// Removes one trailing backslash, if there is one.
TextView WithoutTrailingBackslash(TextView text);

// Malformed sequences become U+FFFD; four-byte sequences become surrogate
// pairs, and lone surrogates are written as U+FFFD.
Text Utf8ToUtf16(std::string_view utf8);
void AppendUtf8(std::string& out, TextView text);
std::string Utf16ToUtf8(TextView text);

}  // namespace qx::core
