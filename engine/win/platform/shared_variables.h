// The launcher's contract variables as the engine's texts, and the files the
// engine reads from the runtime folder.
#pragma once

#include <string>

#include "engine/core/text.h"
#include "engine/include/launcher_contract.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// Views of the contract's literals (wchar_t is UTF-16 here).
inline core::TextView NameOf(const contract::SharedVariable& variable) {
  return core::TextView(reinterpret_cast<const char16_t*>(variable.name));
}
inline core::TextView ReferenceOf(const contract::SharedVariable& variable) {
  return core::TextView(reinterpret_cast<const char16_t*>(variable.reference));
}

// The full path of |name| in the runtime folder (QXSFXPATH).
inline core::Text RuntimeFilePath(core::TextView name) {
  core::Text path(ReferenceOf(contract::kRuntimeFolder));
  path += u'\\';
  path += name;
  return Expand(path);
}

}  // namespace qx::engine
