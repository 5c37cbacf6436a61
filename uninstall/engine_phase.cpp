#include "uninstall/engine_phase.h"

#include <cwchar>

#include "uninstall/engine_api.h"
#include "uninstall/first_stage.h"
#include "uninstall/restart_delete.h"
#include "uninstall/run_lock.h"
#include "uninstall/script_guard.h"
#include "uninstall/uninstall_script.h"

namespace qx {
namespace {

constexpr UINT kScriptErrorStyle = MB_ICONERROR | MB_TOPMOST;

bool IsCopy() { return wcscmp(EvalVar(L"%PARAM%"), L"/u") == 0; }

// The user's own parameter is the first stage's first one, which the copy
// receives third, after "/u" and the installed uninstaller's path.
bool UserAskedForSilentRun() { return _wcsicmp(EvalVar(IsCopy() ? L"%PARAM3%" : L"%PARAM%"), L"/S") == 0; }

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
  // Set before InitUninstall, which shows no message in a silent run either.
  if (UserAskedForSilentRun()) SetVar(L"SILENT", L"1");

  // Before anything of the installation is looked at: a second run changes
  // nothing while another one is at work.
  if (IsCopy()) state.Lock.Join(EvalVar(L"%PARAM2%"));
  else if (!state.Lock.Take(state.LauncherPath.get())) return kAnotherRunInProgress;

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

// The file that runs is the temporary copy, which may go at the next
// restart, only when it lies in the temporary folder (the runtime folder's
// parent) and is not the installed uninstaller named after "/u": that one,
// started with "/u" by hand, must stay.
bool IsTemporaryCopy(const LauncherState& state) {
  if (lstrcmpiW(state.LauncherPath.get(), EvalVar(L"%UNINSTEXE%")) == 0) return false;
  PathBuffer folder, temp_folder;
  if (!folder.assign(state.LauncherPath.get()) ||
      !temp_folder.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength - 1)) {
    return false;
  }
  StripFileName(folder);
  StripFileName(temp_folder);
  return lstrcmpiW(folder.get(), temp_folder.get()) == 0;
}


}  // namespace

int RunEnginePhase(LauncherState& state, PathBuffer& start_folder, int& script_result) {
  // Only binding failures are taken here; any other fault in these calls is
  // the engine's and is not the script's to report.
  EngineStart start{&state, &start_folder};
  GuardResult init = RunGuarded(StartEngine, &start, IsEngineBindingFailure);
  if (init.caught) return StatusRuntime;
  if (init.value == kAnotherRunInProgress) {
    if (!IsSilent()) ShowLanguageBox(L"#uninstallbusy", MB_OK | MB_ICONWARNING);
    script_result = kAnotherRunInProgress;
    return 0;
  }
  if (init.value == 0 && !IsCopy()) state.Lock.HandOver();
  // Unset, the variable expands to its own reference.
  const wchar_t* record = EvalVar(L"%RUNLOG%");
  if (wcscmp(record, L"%RUNLOG%") != 0) state.RunRecord.assign(record);
  if (init.value != 1) {
    // The copy's own temporary file goes at the next restart whether or not
    // it accepted the log; these results come from the copy only, never
    // from the installed uninstaller.
    if (init.value >= -5 && init.value <= -3 && IsTemporaryCopy(state)) {
      ScheduleDeleteAtRestart(state.LauncherPath.get());
    }
    // Nobody saw the engine's message in a silent run: each start-up failure
    // ends with its own code instead of the 0 of a normal end.
    if (init.value < 0 && init.value >= -5 && IsSilent())
      script_result = kSilentStartFailure - init.value;
    // A silent first stage ends with the copy's result, so a caller can wait
    // for the uninstallation and learn how it went.
    if (init.value == 0 && IsSilent()) state.Copy.reset(OpenStartedCopy());
    return 0;
  }

  if (IsTemporaryCopy(state)) ScheduleDeleteAtRestart(state.LauncherPath.get());

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
  PrepareWindows();
  MessageBoxW(nullptr, text.get(), state.AppTitle.get(), kScriptErrorStyle);
  return 0;
}

}  // namespace qx
