// The state one loaded engine keeps between calls. It is created when the
// library is loaded and released when it is unloaded; calls never overlap, so
// it has no locks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "builtins.h"
#include "dialog_state.h"
#include "file_property_table.h"
#include "system_library.h"
#include "text.h"
#include "text_layer.h"
#include "uninstall_log_format.h"
#include "unique_resource.h"

namespace qx::engine {

struct EngineState {
  // The launcher's module, given to InitSFX; dialogs load their icon from it.
  HMODULE module = nullptr;
  // Variables, language table and expansion.
  core::TextLayer text;
  // The working text area behind every text an export returns: valid until
  // the next call into the engine.
  core::Text result;
  // Per-file instructions of the installer side, from "qxfprop.dat".
  core::FilePropertyTable file_properties;
  // The open uninstall log (read and write), closed at unload at the latest.
  UniqueFile log;
  // The run record of "/LOG=", open while the run lasts.
  UniqueFile record;
  // The installed uninstaller whose log is being replayed (empty on the
  // installer side), and the file phase's entries for it and its log, which
  // wait for the end of the replay.
  core::Text installed_uninstaller;
  core::EntrySet deferred_files;
  // The shell folders looked up so far.
  SpecialFolders special_folders;
  // The copy that the first stage started, held until unload so that the
  // launcher can open it by the id in UNINSTPID and wait for it.
  UniqueHandle started_copy;
  // Where in-use files go, one folder per volume root, created on first use.
  std::vector<core::Text> aside_folders;
  uint32_t aside_count = 0;
  // Dialog description, fonts, control registry and component list.
  DialogState dialogs;
  // Libraries loaded on first use; they stay loaded, as imports would.
  LateLibraries late_libraries;
  // A replay phase's entry set and the registry pair live in the call that
  // uses them.
};

EngineState& Engine();

// Convenience over Engine().text for the engine's own texts.
core::Text Expand(core::TextView text);

// What a message box of the current language adds to its style: reading
// and alignment from the right for a language written right to left.
UINT LanguageBoxStyle();

}  // namespace qx::engine
