// The floor of the size report: an empty Windows program, linked as the
// deliverables are.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
