// The parameters of the process that loaded the engine, program name
// excluded, split by the platform's rules.
#pragma once

#include <windows.h>

#include <vector>

#include "command_line.h"
#include "wide.h"

namespace qx::engine {

inline std::vector<core::Text> ProcessParameters() { return core::SplitCommandLine(FromWide(GetCommandLineW())); }

}  // namespace qx::engine
