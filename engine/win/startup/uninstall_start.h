// InitUninstall: the installed uninstaller restarts itself from a temporary
// copy with "/u"; the copy takes a private copy of the log beside the
// installed program, opens it as the engine's log and checks its header.
#pragma once

namespace qx::engine {

// First stage: 0 once the copy runs, -1 no log (message), -2 the copy could
// not be made or started. Second stage: 1 with the log open, -3 no log,
// -4 no header, -5 another package's title (each with a message).
int InitUninstall();

}  // namespace qx::engine
