// The launcher's run: start-up, container check, runtime folder, extraction,
// the engine phase, engine unload, clean-up and the process exit code.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/fixed_string.h"
#include "common/unique_resource.h"
#include "uninstall/exit_codes.h"
#include "uninstall/paths.h"
#include "uninstall/run_lock.h"

namespace qx {

// The process-wide state of one launcher run.
struct LauncherState {
  HINSTANCE Instance = nullptr;
  // String 0 of the string table: the caption of every launcher message box.
  FixedString<wchar_t, 260> AppTitle;
  // Full path of the launcher's own executable (at most 259 characters).
  PathBuffer LauncherPath;
  // The system temporary folder, then the runtime folder with its trailing
  // "\"; during extraction the current entry name follows it.
  PathBuffer RuntimeFolder;
  // How much of RuntimeFolder counts at the moment.
  uint32_t RuntimeFolderLength = 0;
  // LoadLibraryExW's flags for every library the launcher loads: the system
  // folder only, where the platform knows the flag (0 otherwise).
  DWORD LibrarySearchFlags = 0;
  // The runtime folder's marker, held open without delete sharing while the
  // run lasts: it tells other runs that the folder is in use.
  UniqueFile RunMarker;
  // The user's switches, read once at start: a silent run, and whether this
  // run is the copy (started with "/u" for InstalledUninstaller; the first
  // stage is the installed uninstaller itself).
  bool Silent = false;
  bool IsCopy = false;
  PathBuffer InstalledUninstaller;
  // The run record ("/LOG="), as a full path; RecordAccepted when it may be
  // written (it names no file of the installation's uninstaller).
  PathBuffer RecordPath;
  bool RecordAccepted = false;
  // The first stage started the copy, which a silent first stage waits for,
  // to exit with its code.
  bool CopyStarted = false;
  UniqueHandle Copy;
  // The launcher's own file, opened once and read only through this handle
  // (handed on to the archive reader): another run's copy may move it aside
  // or delete it meanwhile, since it shares deletion, but nobody can write it.
  UniqueFile LauncherFile;
  // Where the container begins: the end of the image's last section.
  uint32_t ContainerStart = 0;
  uint64_t ArchiveOffset = 0;
  uint64_t TotalSize = 0;
  // Held from the engine phase until the process ends.
  RunLock Lock;
  // What the run found out, from which its exit code is decided.
  RunFacts Facts;
};

// Launcher status values; any other value is an archive library result or a
// platform error code, carried unchanged. The fatal message shows string
// status + 1 of the string table for these three, and no second line for
// any other.
enum LauncherStatus : int {
  StatusTempFolder = 1,
  StatusRuntime = 2,
  StatusCorrupt = 3,
};

// The one record of this process.
LauncherState& Launcher();

// Initialises COM in the apartment model (the exit step ends it) and the
// common controls (loading comctl32 from the system folder)
// once, before the run's first window; a run that shows none never does.
void PrepareWindows();

// Runs the launcher; returns the process exit code.
int RunLauncher(HINSTANCE instance);

// Reads the user's switches from the process's command line into |state|;
// LauncherPath must be known.
void ReadSwitches(LauncherState& state);

// "Fatal Error", CR LF, and string |status| + 1 of |instance|'s table (an
// empty line when there is none).
void FormatFatalMessage(HINSTANCE instance, int status, PathBuffer& text);

}  // namespace qx
