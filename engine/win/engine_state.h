// The state one loaded engine keeps between calls. It is created when the
// library is loaded and released when it is unloaded; calls never overlap, so
// it has no locks.
#pragma once

#include <windows.h>

#include "file_property_table.h"
#include "text.h"
#include "text_layer.h"
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
  // A replay phase's entry set and the registry pair live in the call that
  // uses them; the dialog machinery keeps its state in dialog_builder.cpp.
};

EngineState& Engine();

// Convenience over Engine().text for the engine's own texts.
core::Text Expand(core::TextView text);

}  // namespace qx::engine
