// The engine library's exports as the launcher sees them. QXCore.dll is a
// delayed import (engine_api.def): it is loaded from the runtime folder on the
// first call of any of these, and each name is resolved on its own first
// call. A library that cannot be loaded, or lacks a name, surfaces as one of
// the binding failure codes below, raised by the delay-load helper.
#pragma once

#include <windows.h>

namespace qx {

// The delay-load helper's exception codes: VcppException(ERROR_SEVERITY_ERROR,
// ERROR_MOD_NOT_FOUND) and (..., ERROR_PROC_NOT_FOUND).
inline constexpr DWORD kEngineNotLoaded = 0xC06D007E;
inline constexpr DWORD kEngineExportMissing = 0xC06D007F;

inline bool IsEngineBindingFailure(DWORD code) {
  return code == kEngineNotLoaded || code == kEngineExportMissing;
}

}  // namespace qx

extern "C" {

// Called during the file phase of a replay: kind (always 0), the file's path
// (the engine's, valid during the call), non-zero when the file was deleted.
typedef int(WINAPI* ReplayCallback)(int kind, const wchar_t* path, int deleted);

// Called on the progress box's thread: event (0 built, 1 control used,
// 2 closing, 3 Enter key), the dialog window, an event value.
typedef int(WINAPI* DialogCallback)(int event, HWND dialog, int value);

HWND WINAPI QXDlgGetDlgItem(int dialog, int control);
int WINAPI SetVar(const wchar_t* name, const wchar_t* value);
const wchar_t* WINAPI EvalVar(const wchar_t* text);
int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int size);
int WINAPI ShowProgressBox(DialogCallback callback);
int WINAPI PerformUninstall(int phase, ReplayCallback callback);
int WINAPI AddUninstLog(int kind, const wchar_t* text);
int WINAPI InitSFX(HMODULE module);
int WINAPI InitUninstall();

}  // extern "C"
