#include "engine/core/text.h"

namespace qx::core {

namespace {

bool MatchesAt(TextView text, size_t at, TextView what) {
  for (size_t i = 0; i < what.size(); ++i)
    if (FoldAZ(text[at + i]) != FoldAZ(what[i])) return false;
  return true;
}

size_t FindExact(TextView text, TextView what, size_t from) {
  if (what.empty()) return kNotFound;
  return text.find(what, from);
}

template <typename Find>
size_t ReplaceAll(Text& text, TextView what, TextView with, Text& scratch, Find find) {
  size_t at = find(text, what, 0);
  if (at == kNotFound) return 0;
  scratch.clear();
  size_t done = 0, count = 0;
  while (at != kNotFound) {
    scratch.append(text, done, at - done);
    scratch.append(with);
    done = at + what.size();
    ++count;
    at = find(text, what, done);
  }
  scratch.append(text, done, Text::npos);
  text.swap(scratch);
  return count;
}

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

}  // namespace

bool EqualNoCase(TextView a, TextView b) {
  return a.size() == b.size() && MatchesAt(a, 0, b);
}

bool StartsWithNoCase(TextView text, TextView prefix) {
  return text.size() >= prefix.size() && MatchesAt(text, 0, prefix);
}

size_t FindNoCase(TextView text, TextView what, size_t from) {
  if (what.empty() || text.size() < what.size()) return kNotFound;
  const char16_t first = FoldAZ(what[0]);
  const size_t last = text.size() - what.size();
  for (size_t at = from; at <= last; ++at)
    if (FoldAZ(text[at]) == first && MatchesAt(text, at, what)) return at;
  return kNotFound;
}

size_t ReplaceAllNoCase(Text& text, TextView what, TextView with, Text& scratch) {
  return ReplaceAll(text, what, with, scratch,
                    [](TextView t, TextView w, size_t from) { return FindNoCase(t, w, from); });
}

size_t ReplaceAllExact(Text& text, TextView what, TextView with, Text& scratch) {
  return ReplaceAll(text, what, with, scratch, FindExact);
}

int32_t ReadNumber(TextView text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < text.size() && text[i] == u'%') {
    base = 2;
    ++i;
  }
  // Unsigned arithmetic wraps where signed overflow would be undefined.
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    int digit = DigitValue(text[i]);
    if (digit >= base) break;
    value = value * uint32_t(base) + uint32_t(digit);
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

Text DecimalText(int64_t value) {
  char16_t digits[24];
  size_t first = sizeof digits / sizeof digits[0];
  const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  // Divided by ten 16 bits at a time, most significant first: 32-bit
  // arithmetic throughout, where a 64-bit division would bring a library
  // routine into the 32-bit build.
  uint32_t parts[4] = {uint32_t(magnitude >> 48), uint32_t(magnitude >> 32) & 0xFFFF,
                       uint32_t(magnitude >> 16) & 0xFFFF, uint32_t(magnitude) & 0xFFFF};
  uint32_t left;
  do {
    uint32_t remainder = 0;
    left = 0;
    for (uint32_t& part : parts) {
      const uint32_t current = remainder << 16 | part;
      part = current / 10;
      remainder = current % 10;
      left |= part;
    }
    digits[--first] = char16_t(u'0' + remainder);
  } while (left);
  if (value < 0) digits[--first] = u'-';
  return Text(digits + first, sizeof digits / sizeof digits[0] - first);
}

TextView TrimSpaces(TextView text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.substr(begin, end - begin);
}

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.substr(begin, end - begin);
}

TextView WithoutTrailingBackslash(TextView text) {
  if (!text.empty() && text.back() == u'\\') text.remove_suffix(1);
  return text;
}

Text Utf8ToUtf16(std::string_view utf8) {
  Text out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    size_t extra = 0;
    uint32_t cp = 0, min = 0;
    if ((b & 0xE0) == 0xC0) { extra = 1; cp = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; cp = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; cp = b & 0x07; min = 0x10000; }
    else { out.push_back(0xFFFD); ++i; continue; }
    size_t k = 1;
    for (; k <= extra && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    if (k <= extra) {
      // Truncated sequence: one replacement for the bytes read so far.
      out.push_back(0xFFFD);
      i += k;
      continue;
    }
    i += k;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

void AppendUtf8(std::string& out, TextView text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
}

std::string Utf16ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(out, text);
  return out;
}

}  // namespace qx::core
