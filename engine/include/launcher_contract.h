// What the launcher and the engine agree on beyond the exports of qxcore.h:
// the payload's files, the variables through which they talk, InitUninstall's
// results, the replay phases and their order, the replay callback's kinds
// and result, the progress box's messages and controls, and the handles the
// engine keeps for the launcher. Neither side spells one of these itself.
// Portable: the engine's core takes its names from here too.
#pragma once

namespace qx::contract {

// A text both sides use, in the platform's wide type and the portable core's.
struct SharedText {
  const wchar_t* wide;
  const char16_t* portable;
};

#define QX_SHARED_TEXT(text) \
  SharedText { L"" text, u"" text }

// The payload's files, unpacked into the runtime folder.
inline constexpr SharedText kEngineLibrary = QX_SHARED_TEXT("QXCore.dll");
inline constexpr SharedText kDialogDescription = QX_SHARED_TEXT("qxdlg.dat");
inline constexpr SharedText kLanguageTable = QX_SHARED_TEXT("qxlng.dat");

// A variable of the engine's store: its name for SetVar (and the core's
// store), and its reference for EvalVar. An unset variable expands to its
// own reference.
struct SharedVariable {
  const wchar_t* name;
  const wchar_t* reference;
  const char16_t* portable_name;
};

#define QX_SHARED_VARIABLE(text) \
  SharedVariable { L"" text, L"%" text "%", u"" text }

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

// The current language's id: set by the engine from the log's header (and
// by anyone through SetVar); each change selects that language.
inline constexpr SharedVariable kLanguageId = QX_SHARED_VARIABLE("QXLANGID");
// Kept by the engine's text layer whenever the current language changes
// (loading the language table, kLanguageId), read by the launcher before
// each box: "1" while that language is written right to left.
inline constexpr SharedVariable kRightToLeft = QX_SHARED_VARIABLE("QXRTL");

// Written by the script ("0" at its start), read by it at its end.
inline constexpr SharedVariable kExitCode = QX_SHARED_VARIABLE("EXITCODE");

#undef QX_SHARED_VARIABLE
#undef QX_SHARED_TEXT

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
// Not called for a file that nobody may schedule: one kept by its shared
// counter or behind a link, one on a network volume, and one that could not
// be moved from a folder that a user without rights could change.
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

// The replay phases, each undoing one kind of logged change, and the order in
// which the uninstall script runs them.
enum ReplayPhase : int {
  kReplayFiles = 0,
  kReplayFolders = 1,
  kReplayRegistryKeys = 2,
  kReplayRegistryValues = 3,
  kReplayIniKeys = 4,
};
inline constexpr ReplayPhase kReplayOrder[] = {kReplayFiles, kReplayFolders, kReplayRegistryValues,
                                               kReplayRegistryKeys, kReplayIniKeys};

// The progress box: its window messages (WM_USER + 2 and + 14) and the
// control numbers of its bar and its button in the dialog description.
inline constexpr unsigned kProgressSetPosition = 0x0400 + 2;  // wParam: 0 to 100
inline constexpr unsigned kProgressClose = 0x0400 + 14;       // closes it on its own thread
inline constexpr int kProgressBarControl = 3;
inline constexpr int kProgressCancelControl = 0;

}  // namespace qx::contract
