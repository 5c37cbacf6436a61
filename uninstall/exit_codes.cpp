#include "uninstall/exit_codes.h"

#include "engine/include/launcher_contract.h"

namespace qx {
namespace {

const char* Meaning(int code) {
  switch (code) {
    case kExitDone:
      return "everything logged was removed";
    case kExitDeclined:
      return "the user declined: nothing was removed";
    case kExitFailed:
      return "no administrator rights, a replay phase failed, or the script raised an exception";
    case kExitNoLog:
      return "no uninstall log beside the uninstaller";
    case kExitCopyNotStarted:
      return "the temporary copy could not be made or started";
    case kExitCopyFindsNoLog:
      return "the uninstall log is gone or could not be copied whole";
    case kExitLogWithoutHeader:
      return "the uninstall log has no header";
    case kExitLogOfAnotherPackage:
      return "the uninstall log belongs to another package";
    case kExitEngineFailure:
      return "the engine failed while starting";
    case kExitNotAllRemoved:
      return "some logged items could not be removed";
    case kExitCopyUnfinished:
      return "the copy ended without finishing";
    case kExitBusy:
      return "another uninstallation of this installation is at work";
    case kExitRestartNeeded:
      return "the rest is removed at the next restart";
    case kExitNoTempFolder:
      return "no temporary folder or runtime folder";
    case kExitRuntime:
      return "the payload could not be unpacked, or the engine could not be loaded";
    case kExitCorrupt:
      return "the uninstaller's container is damaged";
    default:
      return code < 0 ? "an archive or platform error while unpacking" : "the script's own exit code";
  }
}

// A start-up that ended before the script: the interactive run has shown
// its message and ends with 0; a silent one tells by its code.
int StartFailureCode(const RunFacts& facts) {
  if (!facts.silent) return kExitDone;
  switch (facts.init_result) {
    case contract::kNoLog:
      return kExitNoLog;
    case contract::kCopyNotStarted:
      return kExitCopyNotStarted;
    case contract::kCopyFindsNoLog:
      return kExitCopyFindsNoLog;
    case contract::kLogWithoutHeader:
      return kExitLogWithoutHeader;
    case contract::kLogOfAnotherPackage:
      return kExitLogOfAnotherPackage;
    default:
      return kExitEngineFailure;
  }
}

int ScriptCode(const RunFacts& facts) {
  switch (facts.script) {
    case ScriptEnd::kDeclined:
      return kExitDeclined;
    case ScriptEnd::kNoRights:
    case ScriptEnd::kPhaseFailed:
    case ScriptEnd::kException:
      return kExitFailed;
    case ScriptEnd::kCompleted:
      if (facts.script_exit_code != kExitDone) return facts.script_exit_code;
      // What could not be removed outweighs what waits: a restart will not
      // finish the uninstallation.
      if (facts.not_removed) return kExitNotAllRemoved;
      return facts.restart_needed ? kExitRestartNeeded : kExitDone;
    case ScriptEnd::kNotRun:
      break;
  }
  return kExitDone;
}

int Code(const RunFacts& facts) {
  if (facts.own_file_gone) {
    if (!facts.installation_gone) return kExitBusy;
    return facts.silent ? kExitNoLog : kExitDone;
  }
  if (facts.launcher_status != 0) return FatalExitCode(facts.launcher_status);
  if (facts.waited_for_copy) {
    // Only a copy that ran to its end says what happened; any other end,
    // whatever its code, leaves the uninstallation unfinished.
    return facts.copy_ended && facts.copy_finished ? facts.copy_exit_code : kExitCopyUnfinished;
  }
  if (facts.busy) return kExitBusy;
  if (!facts.engine_started || facts.init_result == contract::kCopyStarted) return kExitDone;
  if (facts.init_result != contract::kUninstallHere) return StartFailureCode(facts);
  return ScriptCode(facts);
}

}  // namespace

ExitDecision DecideExit(const RunFacts& facts) {
  const int code = Code(facts);
  return {code, Meaning(code)};
}

int FatalExitCode(int status) { return static_cast<int>(0u - static_cast<unsigned>(status)); }

}  // namespace qx
