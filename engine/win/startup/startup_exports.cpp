// Start-up exports: InitSFX prepares the engine inside the launcher's runtime
// folder; InitUninstall turns the run into an uninstallation. The state they
// fill (module, language, file properties, the open log) is the engine's
// (engine_state.h), since every other family reads it.
#include "engine/include/qxcore.h"

#include <string>

#include "engine/win/startup/builtins.h"
#include "engine/include/launcher_contract.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/export_support.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/platform/file_properties.h"
#include "engine/win/startup/uninstall_start.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

// Loads "%QXSFXPATH%\qxlng.dat" into the language table and deletes the file.
// A file that cannot be read leaves the table empty and the language as it
// was.
void LoadLanguageTable() {
  EngineState& engine = Engine();
  const core::Text path = RuntimeFilePath(contract::kLanguageTable.portable);
  engine.text.ClearLanguageTable();
  std::string bytes;
  if (!ReadWholeFile(WideOf(path), bytes)) return;
  engine.text.LoadLanguageTable(bytes);
  DeleteFileW(WideOf(path));
}

// Keeps the module, normalises QXSFXPATH, loads the language table and the
// file-properties table and sets the built-in variables.
void InitSfx(HMODULE module) {
  EngineState& engine = Engine();
  engine.module = module;
  engine.text.set_current_language(0);

  // The launcher's folder may end in a backslash; every path the engine
  // builds adds its own.
  const core::Text folder = Expand(ReferenceOf(contract::kRuntimeFolder));
  engine.text.SetVariableRaw(NameOf(contract::kRuntimeFolder), core::WithoutTrailingBackslash(folder));

  LoadLanguageTable();
  LoadFilePropertyTable();
  SetBuiltinVariables(engine.text);
}

}  // namespace

}  // namespace qx::engine

using qx::engine::Guarded;

extern "C" {

int WINAPI InitSFX(HMODULE module) {
  return Guarded(0, [&] {
    qx::engine::InitSfx(module);
    return 0;
  });
}

// A failure inside the engine itself has a result of its own: it must not
// read as the 0 of a started copy, nor as a copy that could not be made.
int WINAPI InitUninstall() {
  return Guarded<int>(qx::contract::kEngineFailure, [] { return qx::engine::InitUninstall(); });
}

}  // extern "C"
