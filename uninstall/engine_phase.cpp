#include "uninstall/engine_phase.h"

#include <objbase.h>

#include "uninstall/engine_api.h"
#include "uninstall/script_guard.h"
#include "uninstall/uninstall_script.h"

namespace qx {
namespace {

constexpr UINT kScriptErrorStyle = MB_ICONERROR | MB_TOPMOST;

struct EngineStart {
  LauncherState* state;
  PathBuffer* start_folder;
};

// The first SetVar loads the library. The engine copies each value during
// the call, so the folder buffer can take ARCPATH right after CUR.
int StartEngine(void* context) {
  auto* start = static_cast<EngineStart*>(context);
  LauncherState& state = *start->state;
  PathBuffer& folder = *start->start_folder;
  SetVar(L"APPTITLE", state.AppTitle.get());
  SetVar(L"ARCNAME", state.LauncherPath.get());
  SetVar(L"QXSFXPATH", state.RuntimeFolder.get());
  SetVar(L"CUR", folder.get());
  folder.assign(state.LauncherPath.get());
  StripFileName(folder);
  SetVar(L"ARCPATH", folder.get());
  InitSFX(state.Instance);

  // A copy that InitUninstall starts inherits the current folder. Were that
  // the runtime folder, the copy would hold it in use and this run's exit
  // step could not remove it; so the copy starts in the folder above.
  PathBuffer parent;
  parent.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength - 1);
  StripFileName(parent);
  SetCurrentDirectoryW(parent.get());
  int result = InitUninstall();
  SetCurrentDirectoryW(state.RuntimeFolder.get());
  return result;
}

int RunScript(void*) { return RunUninstallScript(); }

}  // namespace

int RunEnginePhase(LauncherState& state, PathBuffer& start_folder, int& script_result) {
  CoInitialize(nullptr);

  // Only binding failures are taken here; any other fault in these calls is
  // the engine's and is not the script's to report.
  EngineStart start{&state, &start_folder};
  GuardResult init = RunGuarded(StartEngine, &start, IsEngineBindingFailure);
  if (init.caught) return StatusRuntime;
  if (init.value != 1) return 0;

  GuardResult script = RunGuarded(RunScript, nullptr, CatchEveryException);
  if (!script.caught) {
    script_result = script.value;
    return 0;
  }
  // An export the script needs and the library lacks is the same failure as
  // a missing export at start.
  if (IsEngineBindingFailure(script.code)) return StatusRuntime;
  ScriptErrorText text;
  FormatScriptError(script.code, text);
  MessageBoxW(nullptr, text.get(), state.AppTitle.get(), kScriptErrorStyle);
  return 0;
}

}  // namespace qx
