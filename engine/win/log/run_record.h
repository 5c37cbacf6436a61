// The run record that a "/LOG=path" parameter asks for: UTF-8 lines, each
// written as soon as it is known, so that a run ended halfway leaves a record
// up to its last step. Without the parameter nothing is written.
#pragma once

#include <windows.h>

#include <vector>

#include "engine/core/text.h"

namespace qx::engine {

// Opens the record that |parameters| name, if any (RUNLOG is set to its
// path), and writes the start time and the log that is replayed. A record
// that cannot be opened is no record: the uninstallation goes on.
void OpenRunRecord(const std::vector<core::Text>& parameters, core::TextView log);

// Writes "<what> <path>: <outcome>" when a record is open.
void RecordOutcome(core::TextView what, core::TextView path, core::TextView outcome);

// "failed with error <code>: <the platform's message>".
core::Text FailureText(DWORD error);

}  // namespace qx::engine
