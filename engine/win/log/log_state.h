// The uninstall log family's state: what the replay keeps between its
// phases. The open log itself is shared with the start-up, which opens it
// (platform/engine_state.h).
#pragma once

#include "common/unique_resource.h"
#include "engine/core/replay_plan.h"
#include "engine/core/text.h"
#include "engine/win/log/replay_system.h"

namespace qx::engine {

struct LogState {
  // The installed uninstaller and its log as files, known from the first
  // replay phase on.
  OwnFile own_files[2];
  bool own_files_known = false;
  // What the replay decided so far, across its phases.
  core::ReplayPlanner planner;
};

LogState& LogFamily();

}  // namespace qx::engine
