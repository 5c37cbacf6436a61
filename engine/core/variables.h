// The variable store: values under the key "%NAME%", keys compared exactly.
#pragma once

#include "engine/core/keyed_table.h"
#include "engine/core/text.h"

namespace qx::core {

// "%" + name + "%", the key a variable is stored and referenced under.
Text VariableKey(TextView name);

// The variable store: values under "%NAME%", in the order keys were first
// added, which is the order expansion applies them in.
using VariableStore = KeyedTable<Text>;

}  // namespace qx::core
