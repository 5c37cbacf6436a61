#include "uninstall/wait_for_copy.h"

#include <cwchar>

#include "uninstall/engine_api.h"
#include "uninstall/exit_codes.h"
#include "uninstall/restart_delete.h"

namespace qx {

HANDLE OpenStartedCopy() {
  const wchar_t* id = EvalVariable(contract::kStartedCopyId);
  wchar_t* end = nullptr;
  const unsigned long process_id = wcstoul(id, &end, 10);
  if (process_id == 0 || *end != 0) return nullptr;
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
}

int WaitForCopy(HANDLE copy, const RunLock& lock) {
  DWORD code = 0;
  if (WaitForSingleObject(copy, INFINITE) != WAIT_OBJECT_0) return kExitCopyUnfinished;
  if (!lock.CopyFinished()) RemoveUnfinishedCopy(copy);
  if (!GetExitCodeProcess(copy, &code)) return kExitCopyUnfinished;
  const int result = static_cast<int>(code);
  if ((result == kExitDone || result == kExitRestartNeeded) && !lock.CopyFinished()) return kExitCopyUnfinished;
  return result;
}

}  // namespace qx
