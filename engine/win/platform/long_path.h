// Paths in their full long form (common/file_identity.h), as the engine's
// texts: one spelling for every way of writing a path.
#pragma once

#include "engine/core/text.h"

namespace qx::engine {

// The full long form of |path|, or |path| as it is when it cannot be made.
core::Text FullLongPathOf(core::TextView path);

// The same in upper case: equal for every spelling of one path.
core::Text PathKey(core::TextView path);

}  // namespace qx::engine
