// Crossing between the platform's wchar_t text and the core's char16_t text.
// Both are UTF-16 here; the copies are made element by element, which is
// also how the engine takes its own copy of every text argument.
#pragma once

#include <string>

#include "engine/core/text.h"

namespace qx::engine {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// A null pointer is the empty text.
inline core::Text FromWide(const wchar_t* text) {
  size_t length = 0;
  if (text)
    while (text[length]) ++length;
  core::Text out(length, u'\0');
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<char16_t>(text[i]);
  return out;
}

// The platform's view of a core text, without a copy.
inline const wchar_t* WideOf(const core::Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* WideOf(core::Text& text) { return reinterpret_cast<wchar_t*>(text.data()); }

inline std::wstring ToWide(core::TextView text) {
  std::wstring out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(static_cast<wchar_t>(c));
  return out;
}

}  // namespace qx::engine
