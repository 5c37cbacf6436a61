// The library's entry point, without the C runtime's start-up
// (common/static_objects.h): the engine's static objects live from the load
// to the unload, also when the process ends with the library loaded.
#include <windows.h>

#include "common/static_objects.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) qx::ConstructStaticObjects();
  if (reason == DLL_PROCESS_DETACH) qx::DestroyStaticObjects();
  return TRUE;
}
