// What the dialog exports keep while the library is loaded: the description,
// the scale factors and fonts, the control registry and the component list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "engine/core/dialog_description.h"
#include "engine/core/text.h"
#include "common/unique_resource.h"

namespace qx::engine {

struct RegistryRecord {
  HWND control;
  int32_t number;
  HWND dialog;
};

// The component list of the dialog being shown, and the variable reference
// of each of its rows by index.
struct ComponentList {
  HWND list = nullptr;
  std::vector<core::Text> references;
};

// The progress box's thread builds its dialog while the caller waits for it,
// so its writes here never overlap a call; otherwise only the caller's thread
// changes this state. A closed box's records are dropped by the next call.
struct DialogState {
  core::DialogLines lines;
  double scale_x = 1.0;
  double scale_y = 1.0;
  UniqueGdiObject normal_font;
  UniqueGdiObject heading_font;
  UniqueGdiObject bold_font;
  std::vector<RegistryRecord> registry;
  ComponentList components;
};

}  // namespace qx::engine
