// The engine's delayed import: loaded from the runtime folder on the first
// call, and unloaded so that a later call loads it afresh.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "test_support.h"
#include "uninstall/engine_api.h"
#include "uninstall/engine_binding.h"
#include "uninstall/launcher.h"

namespace {

void UseDeliverablesAsRuntimeFolder() {
  const std::wstring folder = qxtest::Deliverable(L"");
  qx::LauncherState& state = qx::Launcher();
  CHECK(state.RuntimeFolder.assign(folder.c_str()));
  state.RuntimeFolderLength = static_cast<uint32_t>(folder.size());
}

bool EngineLoaded() { return GetModuleHandleW(L"QXCore.dll") != nullptr; }

}  // namespace

TEST_CASE("unloading returns every slot to its stub and a later call loads a fresh engine") {
  UseDeliverablesAsRuntimeFolder();
  qx::UnloadEngine();  // nothing bound yet: nothing to do
  CHECK(!EngineLoaded());

  SetVar(L"KEPT", L"one");
  CHECK(EngineLoaded());
  CHECK(std::wstring(EvalVar(L"%KEPT%")) == L"one");

  qx::UnloadEngine();
  CHECK(!EngineLoaded());
  // Both slots bound before the unload go through the helper again: the
  // library comes back with a new state, so the variable is gone.
  CHECK(std::wstring(EvalVar(L"%KEPT%")) == L"%KEPT%");
  SetVar(L"KEPT", L"two");
  CHECK(EngineLoaded());
  CHECK(std::wstring(EvalVar(L"%KEPT%")) == L"two");

  qx::UnloadEngine();
  qx::UnloadEngine();
  CHECK(!EngineLoaded());
}
