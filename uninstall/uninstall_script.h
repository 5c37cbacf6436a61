// The package's uninstall script, run by the launcher when the engine has
// opened a valid log (InitUninstall returned 1).
#pragma once

namespace qx {

// Runs the script; returns its result (0 when it ran through, else the exit
// code the launcher ends with).
int RunUninstallScript();

}  // namespace qx
