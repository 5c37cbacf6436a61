// Every code either stage of the uninstaller ends with, and the one place
// that picks it: each stage records what it found out in RunFacts, and
// DecideExit turns the facts into the code and its meaning. The README's
// table follows this one line for line. Portable: no platform calls.
#pragma once

namespace qx {

enum ExitCode : int {
  // Everything logged is gone (interactive first stage: the copy was started,
  // or the log was missing or invalid, after the message).
  kExitDone = 0,
  // The user answered No: nothing was removed.
  kExitDeclined = 2,
  // The user is not an administrator, a replay phase failed, or the script
  // raised an exception.
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
  // Silent first stage: the copy ended without its completion mark (killed,
  // or ended by something else), whatever its process's code.
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

// How the uninstall script ended, when it ran.
enum class ScriptEnd : unsigned char {
  kNotRun,
  kNoRights,     // the user is not an administrator
  kDeclined,     // the user answered No
  kPhaseFailed,  // a replay phase failed
  kException,    // a structured exception ended it
  kCompleted,    // the replay ran to its end
};

// What a run found out, recorded by each stage as it goes.
struct RunFacts {
  bool silent = false;
  // The temporary copy (/u), not the first stage.
  bool copy = false;
  // A fatal launcher status (1 to 3), or an archive library or platform
  // error code while unpacking; 0 for none.
  int launcher_status = 0;
  // The start could not open its own file: another run's copy moved it
  // aside or deleted it. |installation_gone|: nobody holds the installation
  // any more and its log is gone too, so it has just been removed.
  bool own_file_gone = false;
  bool installation_gone = false;
  // Another run holds the installation: nothing was looked at.
  bool busy = false;
  // InitUninstall was called, with this result (contract::InitUninstallResult).
  bool engine_started = false;
  int init_result = 0;
  ScriptEnd script = ScriptEnd::kNotRun;
  // With kCompleted: EXITCODE's value, and what the replay left.
  int script_exit_code = 0;
  bool restart_needed = false;
  bool not_removed = false;
  // A silent first stage waited for the copy it started: whether its end and
  // exit code could be read, the code, and whether it set its completion
  // mark (only a copy that ran to its end does).
  bool waited_for_copy = false;
  bool copy_ended = false;
  int copy_exit_code = 0;
  bool copy_finished = false;
};

struct ExitDecision {
  int code;
  // A short English description for the run record.
  const char* meaning;
};

ExitDecision DecideExit(const RunFacts& facts);

// The code of a fatal launcher status: its negation.
int FatalExitCode(int status);

}  // namespace qx
