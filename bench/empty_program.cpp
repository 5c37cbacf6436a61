// The floor of the size report: an empty Windows program, linked as the
// launcher is (its own entry point, no C runtime start-up).
#include <windows.h>

extern "C" void WinMainCRTStartup() { ExitProcess(0); }
