// The first stage's wait for the copy it started: a silent first stage ends
// with the copy's result, so that a caller can wait for the uninstallation
// and learn how it went.
#pragma once

#include <windows.h>

#include "uninstall/run_lock.h"

namespace qx {

// The copy that InitUninstall has just started, by the id it left in
// UNINSTPID: the engine holds the copy until it is unloaded, so the id is
// still the copy's, even when it has ended already. Null when there is none.
HANDLE OpenStartedCopy();

// Waits for the copy to end and gives its exit code. A success (0 or 3010)
// counts only when the copy set its completion mark in |lock|: a copy that
// was killed, or ended by something else, gives kExitCopyUnfinished.
int WaitForCopy(HANDLE copy, const RunLock& lock);

}  // namespace qx
