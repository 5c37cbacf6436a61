// The launcher's contract variables as the engine's texts.
#pragma once

#include "engine/core/text.h"
#include "engine/include/launcher_contract.h"

namespace qx::engine {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// Views of the contract's literals (wchar_t is UTF-16 here).
inline core::TextView NameOf(const contract::SharedVariable& variable) {
  return core::TextView(reinterpret_cast<const char16_t*>(variable.name));
}
inline core::TextView ReferenceOf(const contract::SharedVariable& variable) {
  return core::TextView(reinterpret_cast<const char16_t*>(variable.reference));
}

}  // namespace qx::engine
