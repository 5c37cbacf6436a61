// Registry key paths as the log and the registry exports take them: a root
// name, a backslash and the subkey path.
#pragma once

#include <cstdint>

#include "engine/core/text.h"

namespace qx::core {

struct RegistryPath {
  uint32_t root = 0;  // the predefined key's handle value, 0 for none
  Text subkey;
};

// Splits at the first backslash. Only the five full root names count, in any
// letter case; an abbreviation, or any other name, gives root 0.
RegistryPath ParseRegistryPath(TextView path);

}  // namespace qx::core
