#include "uninstall/wait_for_first_stage.h"

#include <windows.h>
#include <tlhelp32.h>

#include "common/file_identity.h"
#include "common/unique_resource.h"
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

void WaitForFirstStage(const wchar_t* installed_uninstaller) {
  if (!installed_uninstaller || !*installed_uninstaller) return;
  const DWORD parent_id = ParentProcessId();
  if (parent_id == 0) return;
  UniqueHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent_id));
  if (!parent) return;
  // A process id can be reused: only the installed uninstaller is waited for.
  PathBuffer image;
  DWORD units = static_cast<DWORD>(PathBuffer::capacity());
  if (!QueryFullProcessImageNameW(parent.get(), 0, image.writable(), &units) || !image.commit(units)) return;
  if (!IsSameFile(image.get(), installed_uninstaller)) return;
  WaitForSingleObject(parent.get(), kFirstStageWaitMs);
}

}  // namespace qx
