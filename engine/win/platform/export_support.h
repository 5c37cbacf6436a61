// What every export shares: no C++ exception leaves the library, and text
// results live in the engine's working text area.
#pragma once

#include "engine_state.h"

namespace qx::engine {

template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

// Returned when even the working text area could not be filled.
inline const wchar_t kEmptyResult[] = L"";

// Leaves |text| in the working text area and hands out a pointer to it,
// valid until the next call into the engine.
inline const wchar_t* SetResult(core::Text text) {
  Engine().result = std::move(text);
  return reinterpret_cast<const wchar_t*>(Engine().result.c_str());
}

}  // namespace qx::engine
