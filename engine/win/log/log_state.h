// The uninstall log family's state: the open log, the run record, and what
// the replay keeps between its phases. Start-up opens the log and the record
// (InitUninstall); the replay and the installer side use them.
#pragma once

#include "common/unique_resource.h"
#include "engine/core/replay_plan.h"
#include "engine/core/text.h"
#include "engine/win/log/replay_system.h"

namespace qx::engine {

struct LogState {
  // The open uninstall log (read and write), closed at unload at the latest.
  UniqueFile log;
  // The run record of "/LOG=", open while the run lasts.
  UniqueFile record;
  // The installed uninstaller whose log is being replayed, in its full long
  // form (empty on the installer side), and it and its log as files, known
  // from the first replay phase on.
  core::Text installed_uninstaller;
  OwnFile own_files[2];
  bool own_files_known = false;
  // What the replay decided so far, across its phases.
  core::ReplayPlanner planner;
};

LogState& LogFamily();

}  // namespace qx::engine
