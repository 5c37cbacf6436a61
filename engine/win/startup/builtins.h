// The built-in variables that describe the machine's folders, the system,
// the user's rights, the date and the host process's command line.
#pragma once

#include "engine/core/text.h"
#include "engine/core/text_layer.h"

namespace qx::engine {

// Sets the 36 built-in variables in their fixed order, each through the
// expanding store. The shell folders among them are deferred: each is looked
// up when an expansion first needs it (TextLayer::SetDeferredVariable), so a
// run that needs none makes no call of the shell.
void SetBuiltinVariables(core::TextLayer& text);

}  // namespace qx::engine
