// Libraries that the engine needs only for some of its work (the common
// controls and rich edit for dialogs, the shell for its folders and for
// opening documents) are loaded when that work first needs them, not with the
// engine: a run that shows no window loads none of them. Every library loaded
// by name comes from the system folder.
#pragma once

#include <windows.h>

namespace qx::engine {

// Loads |name| from the system folder: by the platform's restricted search
// where it has one (the common controls still come from the manifest's
// side-by-side version), else by its full path there. Null when it fails.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The function |name| of a library that, once loaded here, stays loaded for
// the rest of the run, as an import would; null when either is missing.
// |module| caches the library (null until the first call).
FARPROC SystemFunction(HMODULE& module, const wchar_t* library, const char* name);

template <typename Function>
Function SystemFunctionAs(HMODULE& module, const wchar_t* library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemFunction(module, library, name)));
}

// The libraries the engine loads late, each looked up once (kept in the
// engine's state).
struct LateLibraries {
  HMODULE common_controls = nullptr;
  HMODULE shell = nullptr;
};
LateLibraries& Late();

}  // namespace qx::engine
