// The uninstall log on both sides: the replay of its phases (uninstaller)
// and the writing of a new log (installer). Every operation works on the
// engine's open log, LogHandle.
#pragma once

#include "engine/include/launcher_contract.h"
#include "engine/include/qxcore.h"
#include "engine/core/text.h"

namespace qx::engine {

// 0 after the phase (contract::ReplayPhase; a number outside 0 to 4 does
// nothing), -1 without an
// open log.
int RunReplayPhase(int phase, ReplayCallback callback);

// Appends an entry of |kind| with the expansion of |text|; a file whose
// record in the file-properties table is marked not logged is left out.
// 0, or -1 without an open log or when the entry could not be written.
int AddLogEntry(int kind, core::TextView text);

// Creates the temporary log in "%TMP%" with its header and sets TMPLOG: 0,
// or -1 when it cannot be created or written.
int BeginLog();
// Installs the uninstaller and the finished log beside it (see the statuses
// in log_exports.cpp).
int FinishLog();
// Closes and deletes the temporary log. Always 0.
int AbandonLog();

}  // namespace qx::engine
