// The uninstaller's entry point: the whole run is RunLauncher's. The image
// has no C runtime start-up (common/static_objects.h); this is the entry
// the linker names for a windowed program.
#include <windows.h>

#include <float.h>

#include "common/static_objects.h"
#include "uninstall/launcher.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// Windows guarantees a 32-bit entry point no more than 4-byte alignment of
// its stack.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
  // The floating-point unit as the runtime's start-up leaves it, for the
  // engine's arithmetic on this thread.
  _fpreset();
  qx::ConstructStaticObjects();
  const int code = qx::RunLauncher(reinterpret_cast<HINSTANCE>(&__ImageBase));
  qx::DestroyStaticObjects();
  ExitProcess(static_cast<UINT>(code));
}
