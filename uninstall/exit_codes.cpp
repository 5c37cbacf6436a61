#include "uninstall/exit_codes.h"

#include "engine/include/launcher_contract.h"

namespace qx {

int StartFailureExitCode(int init_result) {
  switch (init_result) {
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
    case contract::kCopyStarted:
    case contract::kUninstallHere:
      return kExitDone;
    default:
      return kExitEngineFailure;
  }
}

int ReplayExitCode(int exit_code, bool restart_needed, bool not_removed) {
  if (exit_code != kExitDone) return exit_code;
  // What could not be removed outweighs what waits: a restart will not
  // finish the uninstallation.
  if (not_removed) return kExitNotAllRemoved;
  return restart_needed ? kExitRestartNeeded : kExitDone;
}

const char* ExitCodeMeaning(int code) {
  switch (code) {
    case kExitDone:
      return "everything logged was removed";
    case kExitDeclined:
      return "the user declined: nothing was removed";
    case kExitFailed:
      return "no administrator rights, or a replay phase failed";
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
      return "an archive or platform error while unpacking";
  }
}

}  // namespace qx
