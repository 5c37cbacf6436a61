// Starting another program, for ExecuteProgram and the uninstaller's restart.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"
#include "engine/core/text.h"

namespace qx::engine {

struct ProgramRun {
  bool started = false;
  // The exit code after a wait; without one, what the system reports at
  // once (STILL_ACTIVE while the program runs).
  DWORD exit_code = 0;
  // The started process, held so that its id stays its own and its exit code
  // can still be read after it has ended.
  UniqueHandle process;
  DWORD process_id = 0;
};

// Starts |program| (its path quoted on the command line, so folders with
// spaces work) with |parameters|. An empty |folder| keeps the current folder.
ProgramRun StartProgram(const core::Text& program, const core::Text& parameters, const core::Text& folder, bool wait,
                        bool hidden);

}  // namespace qx::engine
