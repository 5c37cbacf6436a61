// The uninstall log family of exports: the replay (PerformUninstall) and the
// installer side's log writing (AddUninstLog, ManageUninstLog). Null texts
// count as empty; no C++ exception escapes.
#include <windows.h>

#include "engine/win/platform/export_support.h"
#include "engine/include/qxcore.h"
#include "engine/win/log/uninstall_log.h"
#include "engine/win/platform/wide.h"

namespace {

using qx::engine::FromWide;
using qx::engine::Guarded;

}  // namespace

extern "C" {

// A phase that failed inside the engine reads as a failure, so the script
// stops instead of going on as if the phase had run.
int WINAPI PerformUninstall(int phase, ReplayCallback callback) {
  return Guarded(-1, [&] { return qx::engine::RunReplayPhase(phase, callback); });
}

int WINAPI AddUninstLog(int kind, const wchar_t* text) {
  return Guarded(-1, [&] { return qx::engine::AddLogEntry(kind, FromWide(text)); });
}

// 0 begin: 0, or -1 when the temporary log cannot be created or written.
// 1 finish: 0; -3 the first copy of "qxremove.dat" to the uninstaller failed;
//   -4 no log is open, the last entries could not be written, or the old log
//   or the temporary log could not be opened or appended to; -2 the log could not be copied beside the
//   uninstaller; -1 the second copy of "qxremove.dat" failed.
// 2 abandon, and any other number: 0.
int WINAPI ManageUninstLog(int operation) {
  return Guarded(-1, [&] {
    switch (operation) {
      case 0:
        return qx::engine::BeginLog();
      case 1:
        return qx::engine::FinishLog();
      case 2:
        return qx::engine::AbandonLog();
      default:
        return 0;
    }
  });
}

}  // extern "C"
