#include "engine/win/platform/engine_state.h"

namespace qx::engine {

namespace {
// Constructed by the runtime when the library is loaded, destroyed at unload.
EngineState g_engine;
}  // namespace

EngineState& Engine() { return g_engine; }

core::Text Expand(core::TextView text) {
  core::Text out;
  g_engine.text.Expand(text, out);
  return out;
}

UINT LanguageBoxStyle() { return g_engine.text.right_to_left() ? MB_RTLREADING | MB_RIGHT : 0; }

}  // namespace qx::engine
