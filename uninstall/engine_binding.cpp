#include "uninstall/engine_binding.h"

#include <delayimp.h>

#include "uninstall/engine_api.h"

namespace qx {
namespace {

// Only the engine's own import is redirected. When the runtime folder's copy
// cannot be loaded, the load fails as the helper's own would: returning null
// would let the helper search by plain name after all.
FARPROC WINAPI LoadEngineFromRuntimeFolder(unsigned reason, PDelayLoadInfo info) {
  if (reason != dliNotePreLoadLibrary || lstrcmpiA(info->szDll, "QXCore.dll") != 0) return nullptr;
  PathBuffer path;
  HMODULE engine = EngineLibraryPath(Launcher(), path) ? LoadLibraryW(path.get()) : nullptr;
  if (!engine) RaiseException(kEngineNotLoaded, 0, 0, nullptr);
  return reinterpret_cast<FARPROC>(engine);
}

}  // namespace

bool EngineLibraryPath(const LauncherState& state, PathBuffer& path) {
  return path.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength) && path.append(L"QXCore.dll");
}

}  // namespace qx

// The delay-load helper calls this before each library load (the launcher's
// CMakeLists.txt makes the linker take this definition over the runtime's).
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = qx::LoadEngineFromRuntimeFolder;
}
