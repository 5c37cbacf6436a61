// The copy's wait for the first stage that started it: while the first stage
// runs, its file (the installed uninstaller) cannot be deleted.
#pragma once

namespace qx {

// Waits, a bounded time, until the first stage that started this copy for
// |installed_uninstaller| has ended. Returns at once when the parent is some
// other program.
void WaitForFirstStage(const wchar_t* installed_uninstaller);

}  // namespace qx
