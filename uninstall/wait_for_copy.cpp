#include "uninstall/wait_for_copy.h"

#include <cwchar>

#include "uninstall/engine_api.h"
#include "uninstall/restart_delete.h"

namespace qx {

HANDLE OpenStartedCopy() {
  const wchar_t* id = EvalVariable(contract::kStartedCopyId);
  wchar_t* end = nullptr;
  const unsigned long process_id = wcstoul(id, &end, 10);
  if (process_id == 0 || *end != 0) return nullptr;
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
}

void WaitForCopy(HANDLE copy, const RunLock& lock, RunFacts& facts) {
  DWORD code = 0;
  facts.waited_for_copy = true;
  facts.copy_ended = WaitForSingleObject(copy, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(copy, &code);
  facts.copy_exit_code = static_cast<int>(code);
  facts.copy_finished = lock.CopyFinished();
  // A copy that did not finish leaves its file behind: it goes now.
  if (facts.copy_ended && !facts.copy_finished) RemoveUnfinishedCopy(copy);
}

}  // namespace qx
