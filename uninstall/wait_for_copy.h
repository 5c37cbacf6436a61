// The first stage's wait for the copy it started: a silent first stage ends
// with the copy's result, so that a caller can wait for the uninstallation
// and learn how it went.
#pragma once

#include <windows.h>

#include "uninstall/exit_codes.h"
#include "uninstall/run_lock.h"

namespace qx {

// The copy that InitUninstall has just started, by the id it left in
// UNINSTPID: the engine holds the copy until it is unloaded, so the id is
// still the copy's, even when it has ended already. Null when there is none.
HANDLE OpenStartedCopy();

// Waits for the copy to end and records in |facts| whether its end and exit
// code could be read, the code, and whether it set its completion mark in
// |lock| (a copy that was killed, or ended by something else, did not).
void WaitForCopy(HANDLE copy, const RunLock& lock, RunFacts& facts);

}  // namespace qx
