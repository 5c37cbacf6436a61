// One uninstallation of an installation at a time. The lock is a mutex named
// after the installed uninstaller's full path, letter case folded: the first
// stage takes it before it starts the copy, the copy takes it over, and it
// goes when the copy ends (or is ended: the system closes its handles).
// Beside it, the copy's completion mark: set by the copy as it ends, read by
// a first stage that waits for it.
//
// Only administrators' runs (SYSTEM's among them) change anything, and only
// they can hold the lock: it lives in a private namespace whose boundary
// requires the Administrators group, made with the protected access list
// (common/protected_access.h), so a process without those rights can neither
// create it first nor open it. Where the platform has no private namespaces
// (Wine), the lock is a global mutex that counts only when it carries the
// protected list: one that anybody else created first is passed by.
#pragma once

#include <windows.h>

#include "common/fixed_string.h"
#include "common/unique_resource.h"

namespace qx {

using LockObjectName = FixedString<wchar_t, 64>;

struct LockObjectNames {
  LockObjectName lock, held, finished;
};

// The global names of the lock and its ".held" and ".done" events where
// there is no private namespace: "Global\QXUninstall.<hash>". False when the
// path is too long to be named.
bool GlobalLockNames(const wchar_t* installed_uninstaller, LockObjectNames& names);

class RunLock {
 public:
  // The first stage: false when another run of this installation holds the
  // lock, or when the lock exists and cannot be opened (never taken for a
  // missing one). A run without administrator rights takes none: it changes
  // nothing.
  bool Take(const wchar_t* installed_uninstaller);
  // The first stage, once the copy is started: waits until the copy holds
  // the lock too, so that it never goes free in between.
  void HandOver();
  // The copy: holds the lock its first stage took, and tells it so; false
  // when the lock cannot be opened.
  bool Join(const wchar_t* installed_uninstaller);
  // The copy, as it ends: it ran to its end (whatever its exit code).
  void MarkFinished();
  // The first stage, once the copy has ended: whether it said so.
  bool CopyFinished() const;

 private:
  enum class Outcome { kHeld, kBusy, kUnguarded };
  Outcome Acquire(const wchar_t* installed_uninstaller, bool first_stage);

  UniqueNamespace namespace_;
  UniqueHandle lock_;
  UniqueHandle held_;
  UniqueHandle finished_;
};

}  // namespace qx
