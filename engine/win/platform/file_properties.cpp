#include "engine/win/platform/file_properties.h"

#include <windows.h>

#include <string>

#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

void LoadFilePropertyTable() {
  EngineState& engine = Engine();
  engine.file_properties.Clear();
  const core::Text path = RuntimeFilePath(u"qxfprop.dat");
  std::string bytes;
  if (!ReadWholeFile(WideOf(path), bytes)) return;
  core::ParseFileProperties(bytes, engine.file_properties);
  DeleteFileW(WideOf(path));
}

int CheckFileProperty(wchar_t* buffer, int size) {
  if (!buffer || size < 2) return static_cast<int>(core::FileDecision::kDefault);
  EngineState& engine = Engine();
  const core::Text* destination = engine.text.FindVariable(u"DESTPATH");
  const core::Text path = Expand(FromWide(buffer));
  core::Text redirected;
  const core::FileDecision decision =
      core::DecideFile(engine.file_properties, path, destination ? core::TextView(*destination) : core::TextView(),
                       [](core::TextView text) { return Expand(text); }, redirected);
  if (decision != core::FileDecision::kRedirect) return static_cast<int>(decision);
  const size_t room = static_cast<size_t>(size / 2 - 1);
  if (redirected.size() > room) return static_cast<int>(core::FileDecision::kDefault);
  for (size_t i = 0; i < redirected.size(); ++i) buffer[i] = static_cast<wchar_t>(redirected[i]);
  buffer[redirected.size()] = 0;
  return static_cast<int>(decision);
}

}  // namespace qx::engine
