// What the launcher and the engine agree on beyond the exports of qxcore.h:
// the variables through which they talk, InitUninstall's results, the replay
// callback's kinds and result, and the handles the engine keeps for the
// launcher. Neither side spells one of these names itself.
#pragma once

namespace qx::contract {

// A variable of the engine's store: its name for SetVar, and its reference
// for EvalVar. An unset variable expands to its own reference.
struct SharedVariable {
  const wchar_t* name;
  const wchar_t* reference;
};

#define QX_SHARED_VARIABLE(text) \
  SharedVariable { L"" text, L"%" text "%" }

// Written by the launcher before InitSFX, read by the engine's start-up.
inline constexpr SharedVariable kAppTitle = QX_SHARED_VARIABLE("APPTITLE");      // the launcher's title
inline constexpr SharedVariable kLauncherPath = QX_SHARED_VARIABLE("ARCNAME");   // the running program
inline constexpr SharedVariable kRuntimeFolder = QX_SHARED_VARIABLE("QXSFXPATH");  // with its "\"
inline constexpr SharedVariable kStartFolder = QX_SHARED_VARIABLE("CUR");        // current folder at start
inline constexpr SharedVariable kLauncherFolder = QX_SHARED_VARIABLE("ARCPATH");  // no trailing "\"
// Written by the launcher from the user's switches before InitSFX: "1" for a
// silent run. The engine then shows no message; the script shows no window.
inline constexpr SharedVariable kSilent = QX_SHARED_VARIABLE("SILENT");
// Written by the launcher before InitUninstall: the full path of the run
// record ("/LOG="), which the launcher has created with its opening lines.
// The copy's engine appends the replay's lines to it; the launcher appends
// the closing line once the engine is unloaded.
inline constexpr SharedVariable kRunRecord = QX_SHARED_VARIABLE("RUNLOG");

// Built into the engine (InitSFX), read by the launcher.
inline constexpr SharedVariable kIsAdmin = QX_SHARED_VARIABLE("ISADMIN");          // "1" for an administrator
inline constexpr SharedVariable kDesktopFolder = QX_SHARED_VARIABLE("DESKTOPDIR");  // the shortcut's folder
inline constexpr SharedVariable kWindowsFolder = QX_SHARED_VARIABLE("WIN");         // no trailing "\"

// Written by the engine's InitUninstall, read by the launcher.
// First stage: the process id of the copy it started (see kStartedCopyHandle).
inline constexpr SharedVariable kStartedCopyId = QX_SHARED_VARIABLE("UNINSTPID");
// Copy: the installed uninstaller whose log it replays.
inline constexpr SharedVariable kInstalledUninstaller = QX_SHARED_VARIABLE("UNINSTEXE");

// Written by the engine during the replay, read by the script afterwards.
// "1" when something waits for the next restart and the launcher scheduled
// all of it (the callback reported success every time).
inline constexpr SharedVariable kRestartNeeded = QX_SHARED_VARIABLE("RESTARTNEEDED");
// "1" when a logged item could not be removed, or was left alone as not the
// installation's own (behind a link or a mount point).
inline constexpr SharedVariable kNotRemoved = QX_SHARED_VARIABLE("NOTREMOVED");

// Kept by the engine's text layer whenever the current language changes
// (loading the language table, QXLANGID), read by the launcher before each
// box: "1" while that language is written right to left.
inline constexpr SharedVariable kRightToLeft = QX_SHARED_VARIABLE("QXRTL");

// Written by the script ("0" at its start), read by it at its end.
inline constexpr SharedVariable kExitCode = QX_SHARED_VARIABLE("EXITCODE");

#undef QX_SHARED_VARIABLE

// InitUninstall's results. The handle promise: after kCopyStarted the engine
// holds the copy's process handle until it is unloaded, so the id in
// kStartedCopyId names that copy, even when it has ended already.
enum InitUninstallResult : int {
  kCopyStarted = 0,         // first stage: the copy runs the uninstallation
  kUninstallHere = 1,       // copy: the log is open; run the script
  kNoLog = -1,              // first stage: no log beside the uninstaller
  kCopyNotStarted = -2,     // first stage: the copy could not be made or started
  kCopyFindsNoLog = -3,     // copy: the log is gone or cannot be copied
  kLogWithoutHeader = -4,   // copy: the log has no header
  kLogOfAnotherPackage = -5,  // copy: the log's title is another package's
  kEngineFailure = -6,      // the engine failed inside (memory)
};

// The replay callback: called once for each file entry of the file phase,
// with kind kReplayedFile, the file's path (where it lies now: moved aside,
// that path) and 1 when it is gone (a missing file too), 0 when it is not.
// Its result means nothing, with one exception: the launcher returns
// kReplayNotScheduled when it could not schedule a file reported with 0 for
// deletion at the restart, and the engine then records the file as failed.
// A caller that returns 0, as the exports' own description asks, never
// triggers it. Folders are not reported (the run record names them), and the
// callback makes no call into the engine.
enum ReplayCallbackKind : int {
  kReplayedFile = 0,
};
inline constexpr int kReplayNotScheduled = 0x51584E53;  // "QXNS"

}  // namespace qx::contract
