// The relaunched copy and the first stage that started it.
#pragma once

#include <windows.h>

namespace qx {

// Waits, a bounded time, until the first stage that started this copy has
// ended: while it runs, its file (the installed uninstaller, UNINSTEXE)
// cannot be deleted. Returns at once when the parent is some other program.
void WaitForFirstStage();

// The copy that InitUninstall has just started, by the id it left in
// UNINSTPID: the engine holds the copy until it is unloaded, so the id is
// still the copy's, even when it has ended already. Null when there is none.
HANDLE OpenStartedCopy();

// Waits for the copy to end: its exit code, or the code of a copy that could
// not be started when that code cannot be read.
int WaitForCopy(HANDLE copy);

}  // namespace qx
