#include "startup.h"

#include <string>

#include "builtins.h"
#include "engine_state.h"
#include "file_io.h"
#include "file_properties.h"
#include "wide.h"

namespace qx::engine {

void LoadLanguageTable() {
  EngineState& engine = Engine();
  const std::wstring path = ToWide(Expand(u"%QXSFXPATH%\\qxlng.dat"));
  engine.text.ClearLanguageTable();
  std::string bytes;
  if (!ReadWholeFile(path.c_str(), bytes)) return;
  engine.text.LoadLanguageTable(bytes);
  DeleteFileW(path.c_str());
}

void InitSfx(HMODULE module) {
  EngineState& engine = Engine();
  engine.module = module;
  engine.text.set_current_language(0);

  // The launcher's folder may end in a backslash; every path the engine
  // builds adds its own.
  const core::Text folder = Expand(u"%QXSFXPATH%");
  engine.text.SetVariableRaw(u"QXSFXPATH", core::WithoutTrailingBackslash(folder));

  LoadLanguageTable();
  LoadFilePropertyTable();
  SetBuiltinVariables(engine.text);
}

}  // namespace qx::engine
