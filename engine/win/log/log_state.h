// The uninstall log family's state: the open log, the run record, and what
// the replay keeps between its phases. Start-up opens the log and the record
// (InitUninstall); the replay and the installer side use them.
#pragma once

#include "common/unique_resource.h"
#include "engine/core/text.h"
#include "engine/core/uninstall_log_format.h"

namespace qx::engine {

struct LogState {
  // The open uninstall log (read and write), closed at unload at the latest.
  UniqueFile log;
  // The run record of "/LOG=", open while the run lasts.
  UniqueFile record;
  // The installed uninstaller whose log is being replayed (empty on the
  // installer side), and the file phase's entries for it and its log, which
  // wait for the end of the replay.
  core::Text installed_uninstaller;
  core::EntrySet deferred_files;
};

LogState& LogFamily();

}  // namespace qx::engine
