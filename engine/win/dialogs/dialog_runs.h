// Running built dialogs: the progress box on a thread of its own, modal
// dialogs on the caller's thread, and the rows of a component list.
#pragma once

#include "engine/include/qxcore.h"
#include "engine/core/text.h"

namespace qx::engine {

// Shows the progress box ("dlgprogress") on a new thread and returns once the
// box is shown and event 0 has been handled, or once building it failed.
// The thread keeps the library loaded until it has ended.
void ShowProgressBoxOnThread(DialogCallback callback);

// Runs |section| on the calling thread until it closes and gives the result
// that closed it; 4, after a message, when it cannot be built.
int RunDialogBox(core::TextView section, DialogCallback callback);

// Appends a row to the component list of the dialog being shown; nothing
// without one. |state| 2 fixes the row; otherwise it is chosen when
// |reference| expands to "1".
void AddComponent(core::TextView name, core::TextView description, core::TextView reference, int state);

}  // namespace qx::engine
