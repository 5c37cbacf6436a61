// Writing an expanded copy of a text file.
#pragma once

#include "text.h"

namespace qx::engine {

// Expands every line of the UTF-8 file |source| into |destination| (both
// paths expanded first), each line followed by CR LF. With |escape| the
// file's own backslashes survive as they are and every backslash that the
// expansion inserted is doubled. The destination is created when missing and
// cut to what was written. Nothing is written when the source cannot be read
// or the destination cannot be opened.
void ReplaceVariablesInFile(core::TextView source, core::TextView destination, bool escape);

}  // namespace qx::engine
