// The relaunched copy and the first stage that started it.
#pragma once

namespace qx {

// Waits, a bounded time, until the first stage that started this copy has
// ended: while it runs, its file (the installed uninstaller, UNINSTEXE)
// cannot be deleted. Returns at once when the parent is some other program.
void WaitForFirstStage();

}  // namespace qx
