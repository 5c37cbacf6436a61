// The engine's part of the run record that a "/LOG=path" parameter asks for:
// UTF-8 lines, each written as soon as it is known, so that a run ended
// halfway leaves a record up to its last step. The launcher creates the
// record with its opening lines and closes it with the exit code (RUNLOG
// names it); without one nothing is written.
#pragma once

#include <windows.h>

#include "engine/core/text.h"

namespace qx::engine {

// The path the launcher gave in RUNLOG, or the empty text.
core::Text RecordPath();

// Opens the launcher's record, if any, to append to it, and writes the log
// that is replayed. A record that cannot be opened is no record: the
// uninstallation goes on.
void OpenRunRecord(core::TextView log);

// Writes |line| when a record is open.
void RecordLine(core::TextView line);

// Whether a record is open: lines that cost something to make are made only then.
bool Recording();

// "error <code>: <the platform's message>".
core::Text ErrorText(DWORD error);

}  // namespace qx::engine
