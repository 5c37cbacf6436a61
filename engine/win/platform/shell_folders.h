// The machine's shell folders by CSIDL number, for the built-in folder
// variables and GetSpecialDirectory.
#pragma once

#include <cstdint>

#include "engine/core/text.h"

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

}  // namespace qx::engine
