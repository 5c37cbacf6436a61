// What every family of exports shares while the library is loaded: the
// launcher's module, the variable store with the language table, the working
// text area of text results, the file-properties table, the libraries loaded
// late and the open uninstall log. Each family keeps the rest of its state in its own folder.
// Created when the library is loaded and released when it is unloaded; calls
// never overlap, so it has no locks.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"
#include "engine/core/file_property_table.h"
#include "engine/core/text.h"
#include "engine/core/text_layer.h"
#include "engine/win/platform/system_library.h"

namespace qx::engine {

struct EngineState {
  // The launcher's module, given to InitSFX; dialogs load their icon from it.
  HMODULE module = nullptr;
  // Variables, language table and expansion.
  core::TextLayer text;
  // The working text area behind every text an export returns: valid until
  // the next call into the engine.
  core::Text result;
  // Per-file instructions of the installer side, from "qxfprop.dat": read
  // at start-up, used when the log is written and by CheckFileProp.
  core::FilePropertyTable file_properties;
  // Libraries loaded on first use; they stay loaded, as imports would.
  LateLibraries late_libraries;
  // The uninstall log the engine holds open (read and write) until it is
  // unloaded at the latest: the copy's private copy of the installed log,
  // opened at start-up, or the installer side's new log. The log family
  // reads and writes it.
  UniqueFile log;
  // The installed uninstaller whose log is replayed, in its full long form
  // (empty on the installer side).
  core::Text installed_uninstaller;
};

EngineState& Engine();

// Convenience over Engine().text for the engine's own texts.
core::Text Expand(core::TextView text);

// What a message box of the current language adds to its style: reading
// and alignment from the right for a language written right to left.
UINT LanguageBoxStyle();

}  // namespace qx::engine
