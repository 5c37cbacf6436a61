// The parameters of the process that loaded the engine, program name
// excluded, split by the platform's rules.
#pragma once

#include <windows.h>

#include <vector>

#include "engine/core/command_line.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

inline std::vector<core::Text> ProcessParameters() { return core::SplitCommandLine(FromWide(GetCommandLineW())); }

}  // namespace qx::engine
