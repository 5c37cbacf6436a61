// The engine library as the launcher sees it. QXCore.dll is a delayed import
// of nine of its exports (engine_api.def): it is loaded from the runtime
// folder on the first call of any of them, and each name is resolved on its
// own first call. A library that cannot be loaded, or lacks a name, surfaces
// as one of the binding failure codes below, raised by the delay-load helper.
#pragma once

#include <windows.h>

#include <cwchar>

#include "engine/include/launcher_contract.h"
#include "engine/include/qxcore.h"

namespace qx {

// The delay-load helper's exception codes: VcppException(ERROR_SEVERITY_ERROR,
// ERROR_MOD_NOT_FOUND) and (..., ERROR_PROC_NOT_FOUND).
inline constexpr DWORD kEngineNotLoaded = 0xC06D007E;
inline constexpr DWORD kEngineExportMissing = 0xC06D007F;

inline bool IsEngineBindingFailure(DWORD code) {
  return code == kEngineNotLoaded || code == kEngineExportMissing;
}

// The contract's variables, by name.
inline void SetVariable(const contract::SharedVariable& variable, const wchar_t* value) {
  SetVar(variable.name, value);
}
inline const wchar_t* EvalVariable(const contract::SharedVariable& variable) { return EvalVar(variable.reference); }

// A flag counts only as this exact text. The comparison is the runtime
// library's, unit by unit: the platform's linguistic one would take "1"
// followed by an ignorable character for "1".
inline bool VariableIsOne(const contract::SharedVariable& variable) {
  return wcscmp(EvalVariable(variable), L"1") == 0;
}

}  // namespace qx
