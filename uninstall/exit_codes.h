// Every code either stage of the uninstaller ends with, and where each is
// decided. The README's tables follow this one line for line.
#pragma once

namespace qx {

enum ExitCode : int {
  // Everything logged is gone (interactive first stage: the copy was started).
  kExitDone = 0,
  // The user answered No: nothing was removed.
  kExitDeclined = 2,
  // The user is not an administrator, or a replay phase failed.
  kExitFailed = 3,
  // Silent start-up failures, each after the message nobody would see.
  kExitNoLog = 11,                // first stage: no uninstall log beside the uninstaller
  kExitCopyNotStarted = 12,       // first stage: the temporary copy could not be made or started
  kExitCopyFindsNoLog = 13,       // copy: the log is gone, or its private copy could not be made whole
  kExitLogWithoutHeader = 14,     // copy: the log has no header
  kExitLogOfAnotherPackage = 15,  // copy: the log belongs to another package
  kExitEngineFailure = 16,        // silent: the engine failed inside (memory) while starting
  // The replay ended, but some logged items could not be removed, or were
  // left alone as not the installation's own (behind a link or mount point).
  kExitNotAllRemoved = 17,
  // Silent first stage: the copy ended without saying that it finished
  // (killed, or ended by something else), whatever its process's code.
  kExitCopyUnfinished = 18,
  // Another uninstallation of this installation is at work: try again later.
  kExitBusy = 1618,
  // Everything else is gone; the rest waits for the next restart, for which
  // it is scheduled.
  kExitRestartNeeded = 3010,
  // Fatal messages: the negated launcher status (or a negated archive
  // library or platform error code while unpacking).
  kExitNoTempFolder = -1,
  kExitRuntime = -2,
  kExitCorrupt = -3,
};

// A silent run's code for an InitUninstall result other than "run the
// script" and "copy started"; 0 for those two.
int StartFailureExitCode(int init_result);

// The script's code once the replay has run: 17 when something was not
// removed, else 3010 when something waits for the restart, else |exit_code|
// (EXITCODE's value).
int ReplayExitCode(int exit_code, bool restart_needed, bool not_removed);

// A short English description of |code| for the run record.
const char* ExitCodeMeaning(int code);

}  // namespace qx
