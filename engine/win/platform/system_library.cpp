#include "engine/win/platform/system_library.h"

#include "engine/win/platform/engine_state.h"

#include <string>

namespace qx::engine {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A system without the restricted search rejects the flag.
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC SystemFunction(HMODULE& module, const wchar_t* library, const char* name) {
  if (!module) module = LoadSystemLibrary(library);
  return module ? GetProcAddress(module, name) : nullptr;
}

LateLibraries& Late() { return Engine().late_libraries; }

}  // namespace qx::engine
