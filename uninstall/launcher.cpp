#include "uninstall/launcher.h"

#include <objbase.h>

#include "engine/core/uninstall_start_rules.h"
#include "engine/core/user_switches.h"
#include "uninstall/container.h"
#include "uninstall/engine_binding.h"
#include "uninstall/engine_phase.h"
#include "uninstall/exit_codes.h"
#include "uninstall/run_record.h"
#include "uninstall/runtime_folder.h"
#include "uninstall/wait_for_copy.h"

namespace qx {
namespace {

constexpr UINT kFatalMessageStyle = MB_ICONERROR | MB_TOPMOST;
// The string table's texts for a start that finds its own file gone, in its
// last block, far from the fatal message's texts.
constexpr UINT kBusyText = 0xFFF0;
constexpr UINT kNoLogText = 0xFFF1;

bool g_com_initialized = false;

template <size_t N>
void LoadText(HINSTANCE instance, UINT id, FixedString<wchar_t, N>& text) {
  int length = LoadStringW(instance, id, text.writable(), static_cast<int>(N));
  text.commit(length > 0 ? static_cast<size_t>(length) : 0);
}

// A platform call that filled |buffer| with at most kPlatformPathLength
// characters reported |length|. Zero is an error; a length that reaches the
// limit means the text did not fit, or (for GetModuleFileNameW) was cut.
bool CommitPlatformPath(PathBuffer& buffer, DWORD length) {
  if (length == 0 || length >= kPlatformPathLength) {
    buffer.commit(0);
    return false;
  }
  return buffer.commit(length);
}

bool LoadTempFolder(PathBuffer& folder) {
  return CommitPlatformPath(folder, TemporaryFolderPath(folder.writable(), kPlatformPathLength));
}

template <typename Function>
Function KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"Kernel32");
  FARPROC proc = kernel ? GetProcAddress(kernel, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

// The copy runs from the temporary folder, where anyone may put a library
// under a system library's name; a library loaded by name comes from the
// system folder only. The process default covers the libraries that system
// libraries load; the launcher's own loads pass the flag as well, since Wine
// applies the default to none of them. The engine is loaded by its full
// path. Systems without SetDefaultDllDirectories at least leave the current
// folder out.
void RestrictLibrarySearch(LauncherState& state) {
  using SetDefaultFunction = BOOL(WINAPI*)(DWORD);
  if (auto set_default = KernelFunction<SetDefaultFunction>("SetDefaultDllDirectories")) {
    if (set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      state.LibrarySearchFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
      return;
    }
  }
  using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);
  if (auto set_folder = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryW")) set_folder(L"");
}

// A silent run shows no box: nobody would answer it.
void EndWithFatalStatus(LauncherState& state, int status) {
  if (status == 0) return;
  state.Facts.launcher_status = status;
  if (state.Silent) return;
  PrepareWindows();
  PathBuffer text;
  FormatFatalMessage(state.Instance, status, text);
  MessageBoxW(nullptr, text.get(), state.AppTitle.get(), kFatalMessageStyle);
}

// The exit step: leave the runtime folder, remove it, end COM, wait for a
// silent first stage's copy.
void FinishRun(LauncherState& state, bool created_runtime_folder, int status) {
  PathBuffer temp_folder;
  if (!LoadTempFolder(temp_folder)) {
    state.Facts.launcher_status = StatusTempFolder;
    return;
  }
  SetCurrentDirectoryW(temp_folder.get());
  if (created_runtime_folder) {
    ReleaseRunMarker(state.RunMarker);
    state.RuntimeFolder.truncate(state.RuntimeFolderLength);
    // What cannot be removed stays; the run's outcome does not change.
    RemoveRuntimeFolder(state.RuntimeFolder);
  }
  if (g_com_initialized) CoUninitialize();
  if (state.Copy) WaitForCopy(state.Copy.get(), state.Lock, state.Facts);
  EndWithFatalStatus(state, status);
}

// The file this process was started from cannot be opened: another run's
// copy has just moved it aside or deleted it (this image stays mapped), or
// something is writing it. That is no damaged container. While another run
// holds the lock, the installation is being removed: busy. Once the lock is
// ours, nothing removes anything any more: with the log gone too, the
// installation has been removed (a missing log's outcome); with the log
// still there, something else is at work on it: busy, try again later.
void EndWithoutLauncherFile(LauncherState& state) {
  PathSink log;
  core::LogPathInto(reinterpret_cast<const char16_t*>(state.InstalledUninstaller.get()), log);
  const bool removed = state.Lock.Take(state.InstalledUninstaller.get()) && log.fits && !PathExists(log.path.get());
  state.Facts.own_file_gone = true;
  state.Facts.installation_gone = removed;
  if (!state.Silent) {
    PrepareWindows();
    FixedString<wchar_t, 260> text;
    LoadText(state.Instance, removed ? kNoLogText : kBusyText, text);
    MessageBoxW(nullptr, text.get(), state.AppTitle.get(), MB_OK | (removed ? MB_ICONERROR : MB_ICONWARNING));
  }
}

// The record's closing line. The copy writes the whole record; the first
// stage writes one only when no copy took the run over, or when the copy it
// waited for did not finish it.
void CloseRunRecord(LauncherState& state, const ExitDecision& exit) {
  if (!state.RecordAccepted) return;
  if (!state.IsCopy && state.CopyStarted) {
    if (!state.Copy || exit.code != kExitCopyUnfinished) return;
  } else if (!state.IsCopy) {
    StartRunRecord(state.RecordPath.get(), state.LauncherPath.get());
  }
  EndRunRecord(state.RecordPath.get(), exit);
}

// Everything after the own path: the temporary folder, the container, the
// runtime folder, extraction, the engine phase and the exit step.
void RunStages(LauncherState& state, int status) {
  if (!LoadTempFolder(state.RuntimeFolder)) status = StatusTempFolder;
  state.RuntimeFolderLength = static_cast<uint32_t>(state.RuntimeFolder.length());
  if (status != 0) return FinishRun(state, false, status);

  // A damaged container ends here: nothing was created, so nothing is removed.
  if (!ReadContainerHeader(state) || state.ContainerStart == 0 || state.TotalSize == 0) {
    if (!state.LauncherFile) return EndWithoutLauncherFile(state);
    return EndWithFatalStatus(state, StatusCorrupt);
  }

  if (!CreateRuntimeFolder(state)) return FinishRun(state, false, StatusTempFolder);
  RemoveStaleRuntimeFolders();

  // The current folder at start; the engine receives it as CUR.
  PathBuffer start_folder;
  CommitPlatformPath(start_folder, GetCurrentDirectoryW(kPlatformPathLength, start_folder.writable()));
  SetCurrentDirectoryW(state.RuntimeFolder.get());

  status = ExtractPayload(state);
  state.RuntimeFolder.truncate(state.RuntimeFolderLength);
  if (status != 0) return FinishRun(state, true, status);

  status = RunEnginePhase(state, start_folder);
  UnloadEngine();
  FinishRun(state, true, status);
}

}  // namespace

LauncherState& Launcher() {
  static LauncherState state;
  return state;
}

// Done before the run's first window, so a run that shows none (the first
// stage, a silent copy) does neither, and loads neither the display driver
// nor its theme: COM's apartment brings a hidden window of its own. COM
// serves the engine's windows (the shell opening a document from a dialog);
// the shell's folders need none.
// comctl32 is no protected system library, so it is loaded only once the
// search is restricted, never as an import at start. It stays loaded for the
// rest of the run, as an import would.
void PrepareWindows() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  g_com_initialized = SUCCEEDED(CoInitialize(nullptr));
  HMODULE library = LoadLibraryExW(L"comctl32.dll", nullptr, Launcher().LibrarySearchFlags);
  FARPROC proc = library ? GetProcAddress(library, "InitCommonControls") : nullptr;
  if (proc) reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(proc))();
}

void ReadSwitches(LauncherState& state) {
  core::UserSwitches<PathSink> switches;
  core::ReadUserSwitches(reinterpret_cast<const char16_t*>(GetCommandLineW()), switches);
  state.Silent = switches.silent;
  state.IsCopy = switches.copy;
  // A path cut to fit would name another file: the copy then has none.
  const bool named = state.IsCopy ? switches.installed_uninstaller.fits &&
                                        state.InstalledUninstaller.assign(switches.installed_uninstaller.path.get())
                                  : state.InstalledUninstaller.assign(state.LauncherPath.get());
  if (!named) state.InstalledUninstaller.clear();
  // Relative to the caller's current folder, which is still this run's; the
  // first stage hands the copy the full path. A path cut to fit is no path.
  if (switches.record_path.fits && ResolveRecordPath(switches.record_path.path.get(), state.RecordPath)) {
    state.RecordAccepted = IsAcceptableRecord(state.RecordPath.get(), state.InstalledUninstaller.get(),
                                              state.LauncherPath.get());
  }
}

void FormatFatalMessage(HINSTANCE instance, int status, PathBuffer& text) {
  FixedString<wchar_t, 260> line;
  static_assert(2 * decltype(line)::capacity() < PathBuffer::capacity(), "both lines always fit");
  text.clear();
  LoadText(instance, 1, line);
  bool fits = text.append(line.get()) && text.append(L"\r\n");
  // Only the launcher's own statuses have a text; an archive or platform
  // code, whatever its value, leaves the second line empty.
  if (status >= StatusTempFolder && status <= StatusCorrupt) {
    LoadText(instance, static_cast<UINT>(status) + 1u, line);
    fits = fits && text.append(line.get());
  }
  if (!fits) text.clear();
}

int RunLauncher(HINSTANCE instance) {
  LauncherState& state = Launcher();
  state.Instance = instance;
  RestrictLibrarySearch(state);
  LoadText(instance, 0, state.AppTitle);

  int status = 0;
  if (!CommitPlatformPath(state.LauncherPath,
                          GetModuleFileNameW(nullptr, state.LauncherPath.writable(), kPlatformPathLength))) {
    status = StatusTempFolder;
  }
  ReadSwitches(state);
  state.Facts.silent = state.Silent;
  state.Facts.copy = state.IsCopy;
  if (state.IsCopy && state.RecordAccepted) StartRunRecord(state.RecordPath.get(), state.LauncherPath.get());
  RunStages(state, status);
  const ExitDecision exit = DecideExit(state.Facts);
  CloseRunRecord(state, exit);
  if (state.IsCopy) state.Lock.MarkFinished();
  return exit.code;
}

}  // namespace qx
