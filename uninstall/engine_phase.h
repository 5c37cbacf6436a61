// The launcher's engine phase: COM, the engine's variables, InitSFX,
// InitUninstall and the guarded uninstall script.
#pragma once

#include "uninstall/launcher.h"

namespace qx {

// A silent run's exit code when InitUninstall fails: this plus the failure's
// magnitude, 11 (no log) to 15 (another package's log).
inline constexpr int kSilentStartFailure = 10;
// A silent run's exit code when the copy could not be made or started.
inline constexpr int kCopyNotStarted = kSilentStartFailure + 2;

// Runs the phase with the runtime folder complete. |start_folder| holds the
// current folder at start and is reused for ARCPATH. Returns 0, or
// StatusRuntime when the engine library could not be loaded or lacks an
// export; |script_result| receives the script's result when it returned, or
// the exit code of a silent run's failed start.
int RunEnginePhase(LauncherState& state, PathBuffer& start_folder, int& script_result);

}  // namespace qx
