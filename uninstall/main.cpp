// The uninstaller's entry point: the whole run is RunLauncher's.
#include <windows.h>

#include "uninstall/launcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return qx::RunLauncher(instance);
}
