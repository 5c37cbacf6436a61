// Start-up exports: InitSFX prepares the engine inside the launcher's runtime
// folder; InitUninstall turns the run into an uninstallation. The state they
// fill (module, language, file properties, the open log) is the engine's
// (engine_state.h), since every other family reads it.
#include "qxcore.h"

#include "export_support.h"
#include "startup.h"
#include "uninstall_start.h"

using qx::engine::Guarded;

extern "C" {

int WINAPI InitSFX(HMODULE module) {
  return Guarded(0, [&] {
    qx::engine::InitSfx(module);
    return 0;
  });
}

// Any result but 1 ends the launcher without its script; a failure inside
// the engine itself must not read as the 0 of a successful restart.
int WINAPI InitUninstall() {
  return Guarded(-2, [] { return qx::engine::InitUninstall(); });
}

}  // extern "C"
