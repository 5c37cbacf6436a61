// script_host: the launcher's uninstall script and restart-rename fallback on
// an engine loaded from a scratch copy of the deliverables, for the cases an
// installed uninstaller cannot reach under Wine (where the user is always an
// administrator).
//
//   script_host RUNTIME_FOLDER script [NAME=VALUE]...   runs the script after
//       InitSFX with the variables set; exit code: the script's result
//   script_host RUNTIME_FOLDER rename PATH              schedules PATH through
//       the "[Rename]" fallback alone
#include <windows.h>

#include <cwchar>

#include "uninstall/engine_api.h"
#include "uninstall/engine_binding.h"
#include "uninstall/launcher.h"
#include "uninstall/restart_delete.h"
#include "uninstall/uninstall_script.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 100;
  qx::LauncherState& state = qx::Launcher();
  state.Instance = GetModuleHandleW(nullptr);
  if (!state.AppTitle.assign(L"Orvella_Installation")) return 100;
  if (!state.RuntimeFolder.assign(argv[1]) || !state.RuntimeFolder.append(L"\\")) return 100;
  state.RuntimeFolderLength = static_cast<uint32_t>(state.RuntimeFolder.length());
  SetVar(L"APPTITLE", state.AppTitle.get());
  SetVar(L"QXSFXPATH", argv[1]);
  InitSFX(state.Instance);

  int result = 0;
  if (std::wcscmp(argv[2], L"script") == 0) {
    for (int i = 3; i < argc; ++i) {
      wchar_t* equals = std::wcschr(argv[i], L'=');
      if (!equals) return 100;
      *equals = 0;
      SetVar(argv[i], equals + 1);
    }
    qx::RunFacts facts;
    facts.engine_started = true;
    facts.init_result = qx::contract::kUninstallHere;
    facts.script = qx::RunUninstallScript(facts);
    result = qx::DecideExit(facts).code;
  } else if (std::wcscmp(argv[2], L"rename") == 0 && argc == 4) {
    qx::AddRenameSectionEntry(argv[3]);
  } else {
    result = 100;
  }
  qx::UnloadEngine();
  return result;
}
