// Splits a process command line into its parameters by the platform's rules
// (those of CommandLineToArgvW and the C runtime): spaces and tabs separate,
// double quotes group and are removed, backslashes are literal unless they
// come before a double quote.
#pragma once

#include <vector>

#include "engine/core/text.h"

namespace qx::core {

// The parameters after the program name.
std::vector<Text> SplitCommandLine(TextView command_line);

// The parameters in order, one space between them, each one that holds a
// space written between double quotes.
Text JoinParameters(const std::vector<Text>& parameters);

}  // namespace qx::core
