#include "uninstall/uninstall_script.h"

namespace qx {

// The dialogue and the replay phases are not part of this build yet: the
// script ends at once with a result that lets the launcher finish normally.
int RunUninstallScript() {
  return 0;
}

}  // namespace qx
