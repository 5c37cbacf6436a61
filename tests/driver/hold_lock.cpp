// hold_lock WHO UNINSTALLER MS: creates the run lock of the installation
// whose uninstaller is UNINSTALLER before any run does, and keeps it for MS
// milliseconds (or until killed). Prints "held" once it is there; exit 1 when
// it cannot be made.
//   peer     as a run of the uninstaller does
//   anybody  the global name with the platform's default access, as any
//            process may create it, administrator or not
//   system   the global name owned by SYSTEM and open to SYSTEM only: a lock
//            that exists and cannot be opened
//   mark     the copy's completion mark (".done") with the platform's default
//            access, set again and again: a mark that anybody may fake
// Where the platform has private namespaces the runs do not use the global
// name at all.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>

#include "common/unique_resource.h"
#include "uninstall/run_lock.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  qx::RunLock peer;
  qx::UniqueHandle lock;
  qx::LockObjectNames names;
  if (std::wcscmp(argv[1], L"peer") == 0) {
    if (!peer.Take(argv[2])) return 1;
  } else if (std::wcscmp(argv[1], L"mark") == 0 && qx::GlobalLockNames(argv[2], names)) {
    lock.reset(CreateEventW(nullptr, TRUE, TRUE, names.finished.get()));
    if (!lock || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    std::puts("held");
    std::fflush(stdout);
    for (DWORD left = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)); left > 0; left -= left < 10 ? left : 10) {
      SetEvent(lock.get());
      Sleep(10);
    }
    return 0;
  } else if (qx::GlobalLockNames(argv[2], names)) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (std::wcscmp(argv[1], L"system") == 0 &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SYD:P(A;;GA;;;SY)", SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      return 1;
    }
    qx::UniqueLocalMemory held_descriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    lock.reset(CreateMutexW(descriptor ? &attributes : nullptr, FALSE, names.lock.get()));
    if (!lock || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  } else {
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  return 0;
}
