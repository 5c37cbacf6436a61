// One uninstallation of an installation at a time. The lock is a named mutex
// derived from the installed uninstaller's full path, letter case folded: the
// first stage takes it before it starts the copy, the copy takes it over, and
// it goes when the copy ends (or is ended: the system closes its handles).
// Beside it, the copy's completion mark: set by the copy as it ends, read by
// a first stage that waits for it.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace qx {

class RunLock {
 public:
  // The first stage: false when another run of this installation holds it.
  bool Take(const wchar_t* installed_uninstaller);
  // The first stage, once the copy is started: waits until the copy holds
  // the lock too, so that it never goes free in between.
  void HandOver();
  // The copy: holds the lock its first stage took, and tells it so.
  void Join(const wchar_t* installed_uninstaller);
  // The copy, as it ends: it ran to its end (whatever its exit code).
  void MarkFinished();
  // The first stage, once the copy has ended: whether it said so.
  bool CopyFinished() const;

 private:
  UniqueHandle lock_;
  UniqueHandle held_;
  UniqueHandle finished_;
};

}  // namespace qx
