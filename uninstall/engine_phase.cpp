#include "uninstall/engine_phase.h"

#include "common/file_identity.h"
#include "uninstall/engine_api.h"
#include "uninstall/exit_codes.h"
#include "uninstall/restart_delete.h"
#include "uninstall/run_lock.h"
#include "uninstall/script_guard.h"
#include "uninstall/uninstall_script.h"
#include "uninstall/wait_for_copy.h"

namespace qx {
namespace {

constexpr UINT kScriptErrorStyle = MB_ICONERROR | MB_TOPMOST;

struct EngineStart {
  LauncherState* state;
  PathBuffer* start_folder;
  // Another run holds the installation: InitUninstall was not called.
  bool busy;
};

// The first SetVar loads the library. The engine copies each value during
// the call, so the folder buffer can take ARCPATH right after CUR. Returns
// InitUninstall's result.
int StartEngine(void* context) {
  auto* start = static_cast<EngineStart*>(context);
  LauncherState& state = *start->state;
  PathBuffer& folder = *start->start_folder;
  SetVariable(contract::kAppTitle, state.AppTitle.get());
  SetVariable(contract::kLauncherPath, state.LauncherPath.get());
  SetVariable(contract::kRuntimeFolder, state.RuntimeFolder.get());
  SetVariable(contract::kStartFolder, folder.get());
  if (folder.assign(state.LauncherPath.get())) {
    StripFileName(folder);
    SetVariable(contract::kLauncherFolder, folder.get());
  }
  // Before InitSFX, whose start-up shows no message in a silent run either.
  if (state.Silent) SetVariable(contract::kSilent, L"1");
  InitSFX(state.Instance);
  // The first stage hands the full path on to the copy; the copy's engine
  // writes to it only when it was accepted.
  if (state.RecordPath.length() != 0 && (state.RecordAccepted || !state.IsCopy))
    SetVariable(contract::kRunRecord, state.RecordPath.get());

  // Before anything of the installation is looked at: a second run changes
  // nothing while another one is at work.
  const bool locked = state.IsCopy ? state.Lock.Join(state.InstalledUninstaller.get())
                                    : state.Lock.Take(state.LauncherPath.get());
  if (!locked) {
    start->busy = true;
    return 0;
  }

  // A copy that InitUninstall starts inherits the current folder. Were that
  // the runtime folder, the copy would hold it in use and this run's exit
  // step could not remove it; so the copy starts in the folder above.
  PathBuffer parent;
  if (parent.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength - 1)) {
    StripFileName(parent);
    SetCurrentDirectoryW(parent.get());
  }
  int result = InitUninstall();
  SetCurrentDirectoryW(state.RuntimeFolder.get());
  return result;
}

int RunScript(void* facts) {
  static_cast<RunFacts*>(facts)->script = RunUninstallScript(*static_cast<RunFacts*>(facts));
  return 0;
}

// The file that runs is the temporary copy, which may go at the next
// restart, only when its folder lies in the temporary folder (the runtime
// folder's parent) and it is not the installed uninstaller named after "/u": that one,
// started with "/u" by hand, must stay. Both decided on the files.
bool IsTemporaryCopy(const LauncherState& state) {
  if (IsSameFile(state.LauncherPath.get(), state.InstalledUninstaller.get())) return false;
  PathBuffer folder, temp_folder;
  if (!folder.assign(state.LauncherPath.get()) ||
      !temp_folder.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength - 1)) {
    return false;
  }
  StripFileName(folder);
  StripFileName(folder);
  StripFileName(temp_folder);
  return IsSameFile(folder.get(), temp_folder.get());
}

}  // namespace

int RunEnginePhase(LauncherState& state, PathBuffer& start_folder) {
  // Only binding failures are taken here; any other fault in these calls is
  // the engine's and is not the script's to report.
  EngineStart start{&state, &start_folder, false};
  GuardResult init = RunGuarded(StartEngine, &start, IsEngineBindingFailure);
  if (init.caught) return StatusRuntime;
  RunFacts& facts = state.Facts;
  if (start.busy) {
    facts.busy = true;
    // A copy turned away still goes at the next restart.
    if (state.IsCopy && IsTemporaryCopy(state)) ScheduleCopyAtRestart(state.LauncherPath.get());
    if (!IsSilent()) ShowLanguageBox(L"#uninstallbusy", MB_OK | MB_ICONWARNING);
    return 0;
  }
  facts.engine_started = true;
  facts.init_result = init.value;
  if (init.value == contract::kCopyStarted) {
    state.CopyStarted = true;
    state.Lock.HandOver();
    // A silent first stage ends with the copy's result, so a caller can wait
    // for the uninstallation and learn how it went.
    if (IsSilent()) state.Copy.reset(OpenStartedCopy());
    return 0;
  }
  if (init.value != contract::kUninstallHere) {
    // The copy's own temporary file goes at the next restart whether or not
    // it accepted the log.
    if (state.IsCopy && IsTemporaryCopy(state)) ScheduleCopyAtRestart(state.LauncherPath.get());
    return 0;
  }

  if (IsTemporaryCopy(state)) ScheduleCopyAtRestart(state.LauncherPath.get());

  GuardResult script = RunGuarded(RunScript, &facts, CatchEveryException);
  if (!script.caught) return 0;
  // An export the script needs and the library lacks is the same failure as
  // a missing export at start.
  if (IsEngineBindingFailure(script.code)) return StatusRuntime;
  facts.script = ScriptEnd::kException;
  // Nobody sees the box of a silent run; its caller learns of the failure.
  if (IsSilent()) return 0;
  ScriptErrorText text;
  FormatScriptError(script.code, text);
  PrepareWindows();
  MessageBoxW(nullptr, text.get(), state.AppTitle.get(), kScriptErrorStyle);
  return 0;
}

}  // namespace qx
