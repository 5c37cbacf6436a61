#include <windows.h>

#include "engine/win/platform/export_support.h"

// The guard chains (export_support.h) live from the load to the unload. The
// library carries no C++ exception runtime, so nothing of the toolchain's
// runtime keeps handles of its own across a load.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) qx::engine::StartGuards();
  if (reason == DLL_PROCESS_DETACH) qx::engine::StopGuards();
  return TRUE;
}
