// The built-in variables that describe the machine's folders, the system,
// the user's rights, the date and the host process's command line.
#pragma once

#include <cstdint>

#include "engine/core/text.h"
#include "engine/core/text_layer.h"

namespace qx::engine {

// The shell folders asked for so far in this load of the engine, by CSIDL
// number (those below kCount; others are asked for each time).
struct SpecialFolders {
  static constexpr int kCount = 64;
  core::Text path[kCount];
  uint64_t known = 0;
};

// The path of a shell folder (a CSIDL number), or the empty text when the
// shell has none: the shell is asked once per load for each folder.
core::Text SpecialFolderPath(int csidl);

// Sets the 36 built-in variables in their fixed order, each through the
// expanding store. The shell folders among them are deferred: each is looked
// up when an expansion first needs it (TextLayer::SetDeferredVariable), so a
// run that needs none makes no call of the shell.
void SetBuiltinVariables(core::TextLayer& text);

}  // namespace qx::engine
