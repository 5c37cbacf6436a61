// doctest for every test program of the tree, with the wide and UTF-16 texts
// of the Windows and portable code shown as text in failure messages
// (non-ASCII characters as \uXXXX).
#pragma once

#include <doctest.h>

#include <string>

namespace qxtest {

template <typename Char>
doctest::String ShowText(const Char* text, size_t length) {
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned long>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xf];
    }
  }
  out += '"';
  return doctest::String(out.c_str());
}

template <typename Char>
doctest::String ShowText(const Char* text) {
  if (!text) return "(null)";
  return ShowText(text, std::char_traits<Char>::length(text));
}

}  // namespace qxtest

namespace doctest {

template <>
struct StringMaker<std::u16string> {
  static String convert(const std::u16string& s) { return qxtest::ShowText(s.data(), s.size()); }
};
template <>
struct StringMaker<std::wstring> {
  static String convert(const std::wstring& s) { return qxtest::ShowText(s.data(), s.size()); }
};
template <>
struct StringMaker<const char16_t*> {
  static String convert(const char16_t* s) { return qxtest::ShowText(s); }
};
template <>
struct StringMaker<char16_t*> {
  static String convert(const char16_t* s) { return qxtest::ShowText(s); }
};
template <>
struct StringMaker<const wchar_t*> {
  static String convert(const wchar_t* s) { return qxtest::ShowText(s); }
};
template <>
struct StringMaker<wchar_t*> {
  static String convert(const wchar_t* s) { return qxtest::ShowText(s); }
};

}  // namespace doctest
