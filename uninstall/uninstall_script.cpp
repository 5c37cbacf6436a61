#include "uninstall/uninstall_script.h"

#include <cwchar>

#include "uninstall/engine_api.h"
#include "uninstall/exit_codes.h"
#include "uninstall/launcher.h"
#include "uninstall/restart_delete.h"
#include "uninstall/wait_for_first_stage.h"

namespace qx {
namespace {

constexpr int kTextBytes = 16384;

// Written on the box's thread before ShowProgressBox returns, read on this
// one afterwards; null in a silent run.
HWND g_progress_window = nullptr;
HWND g_progress_bar = nullptr;

// The expanded text of the box on show, cut to fit.
wchar_t g_text[kTextBytes / 2];

void SetProgress(int percent) {
  if (g_progress_bar) SendMessageW(g_progress_bar, contract::kProgressSetPosition, static_cast<WPARAM>(percent), 0);
}


// The replay in the script's order, the bar at 60 after the files, 80 after
// the folders and 90 at the end; false at the first phase that fails.
bool ReplayLog() {
  for (contract::ReplayPhase phase : contract::kReplayOrder) {
    if (PerformUninstall(phase, ReplayCallback) != 0) return false;
    if (phase == contract::kReplayFiles) SetProgress(60);
    if (phase == contract::kReplayFolders) SetProgress(80);
  }
  SetProgress(90);
  return true;
}

// The request only asks the box to close: it closes on its own thread, which
// holds its own reference to the engine, so the engine may be unloaded while
// the box is still going.
void CloseProgressBox() {
  if (g_progress_window) SendMessageW(g_progress_window, contract::kProgressClose, 0, 0);
  g_progress_window = nullptr;
  g_progress_bar = nullptr;
}

}  // namespace

bool IsSilent() { return VariableIsOne(contract::kSilent); }

// Windows mirrors a box shown with MB_RTLREADING; Wine does not, but
// mirrors every window made without an owner while the process's default
// layout is right to left, as Windows does too.
int ShowLanguageBox(const wchar_t* references, UINT style) {
  PrepareWindows();
  const bool right_to_left = VariableIsOne(contract::kRightToLeft);
  EvalVarBuf(references, g_text, kTextBytes);
  if (right_to_left) SetProcessDefaultLayout(LAYOUT_RTL);
  const int answer = MessageBoxW(nullptr, g_text, Launcher().AppTitle.get(),
                                 right_to_left ? style | MB_RTLREADING | MB_RIGHT : style);
  if (right_to_left) SetProcessDefaultLayout(0);
  return answer;
}

int WINAPI ProgressBoxCallback(int event, HWND dialog, int) {
  if (event == 0) {
    g_progress_window = dialog;
    g_progress_bar = QXDlgGetDlgItem(static_cast<int>(reinterpret_cast<INT_PTR>(dialog)), contract::kProgressBarControl);
    // Without its button the uninstallation cannot be cancelled halfway.
    ShowWindow(QXDlgGetDlgItem(static_cast<int>(reinterpret_cast<INT_PTR>(dialog)), contract::kProgressCancelControl), SW_HIDE);
  }
  return 0;
}

int WINAPI ReplayCallback(int kind, const wchar_t* path, int deleted) {
  if (kind == contract::kReplayedFile && deleted == 0 && !ScheduleDeleteAtRestart(path))
    return contract::kReplayNotScheduled;
  return 0;
}

int ExitCodeValue(const wchar_t* text) {
  while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  unsigned long long value = 0;
  bool overflow = false;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    value = value * 10 + static_cast<unsigned>(*text - L'0');
    if (value > 0xFFFFFFFFull) overflow = true, value = 0xFFFFFFFFull;
  }
  if (overflow) return -1;
  const unsigned result = static_cast<unsigned>(value);
  return static_cast<int>(negative ? 0u - result : result);
}

ScriptEnd RunUninstallScript(RunFacts& facts) {
  SetVariable(contract::kExitCode, L"0");

  // Nobody could answer a box in a silent run: the exit code tells instead.
  if (!VariableIsOne(contract::kIsAdmin)) {
    if (!IsSilent()) ShowLanguageBox(L"#UninstallAdminReq", MB_OK | MB_ICONERROR);
    return ScriptEnd::kNoRights;
  }
  if (!IsSilent()) {
    if (ShowLanguageBox(L"#UninstallPrompt", MB_YESNO | MB_ICONQUESTION) == IDNO) return ScriptEnd::kDeclined;
  }
  if (!IsSilent()) {
    PrepareWindows();
    ShowProgressBox(ProgressBoxCallback);
  }

  // The installed uninstaller is one of the logged files, removed at the end
  // of the replay: an interactive first stage lets go of it by then. A
  // silent one waits for this run, and its file is moved aside instead.
  if (!IsSilent()) WaitForFirstStage(Launcher().InstalledUninstaller.get());
  if (!ReplayLog()) {
    // The box must not outlive the engine, which is unloaded right after.
    CloseProgressBox();
    return ScriptEnd::kPhaseFailed;
  }

  PathBuffer shortcut;
  if (shortcut.assign(EvalVariable(contract::kDesktopFolder)) && shortcut.append(L"\\Orvella.lnk"))
    DeleteFileW(shortcut.get());
  const bool restart_needed = facts.restart_needed = VariableIsOne(contract::kRestartNeeded);
  const bool not_removed = facts.not_removed = VariableIsOne(contract::kNotRemoved);
  if (!IsSilent()) {
    SetProgress(100);
    CloseProgressBox();
    // Each language's restart sentence brings its own separator (a space, or
    // none after a full stop such as "。").
    const wchar_t* text = not_removed ? (restart_needed ? L"#UninstallIncomplete#UninstallRestart"
                                                         : L"#UninstallIncomplete")
                                      : (restart_needed ? L"#UninstallFinal#UninstallRestart" : L"#UninstallFinal");
    ShowLanguageBox(text, MB_OK | (not_removed ? MB_ICONWARNING : MB_ICONINFORMATION));
  }
  facts.script_exit_code = ExitCodeValue(EvalVariable(contract::kExitCode));
  return ScriptEnd::kCompleted;
}

}  // namespace qx
