#include "uninstall/first_stage.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

#include "common/unique_resource.h"
#include "uninstall/engine_api.h"
#include "uninstall/engine_phase.h"
#include "uninstall/paths.h"

namespace qx {
namespace {

// The first stage exits right after starting the copy; this only covers a
// slow exit, never a hang.
constexpr DWORD kFirstStageWaitMs = 10000;

DWORD ParentProcessId() {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  return 0;
}

}  // namespace

void WaitForFirstStage() {
  PathBuffer installed;
  if (!installed.assign(EvalVar(L"%UNINSTEXE%"))) return;
  const DWORD parent_id = ParentProcessId();
  if (parent_id == 0) return;
  UniqueHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent_id));
  if (!parent) return;
  // A process id can be reused: only the installed uninstaller is waited for.
  PathBuffer image;
  DWORD units = static_cast<DWORD>(PathBuffer::capacity());
  if (!QueryFullProcessImageNameW(parent.get(), 0, image.writable(), &units) || !image.commit(units)) return;
  if (lstrcmpiW(image.get(), installed.get()) != 0) return;
  WaitForSingleObject(parent.get(), kFirstStageWaitMs);
}

HANDLE OpenStartedCopy() {
  const wchar_t* id = EvalVar(L"%UNINSTPID%");
  wchar_t* end = nullptr;
  const unsigned long process_id = wcstoul(id, &end, 10);
  if (process_id == 0 || *end != 0) return nullptr;
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
}

int WaitForCopy(HANDLE copy) {
  DWORD code = 0;
  if (WaitForSingleObject(copy, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(copy, &code))
    return kCopyNotStarted;
  return static_cast<int>(code);
}

}  // namespace qx
