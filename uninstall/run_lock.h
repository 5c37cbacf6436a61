// One uninstallation of an installation at a time. The lock is a named mutex
// derived from the installed uninstaller's full path, letter case folded: the
// first stage takes it before it starts the copy, the copy takes it over, and
// it goes when the copy ends (or is ended: the system closes its handles).
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace qx {

// The exit code of a run that found another one at work on the installation,
// as Windows Installer and deployment tools use it: try again later.
inline constexpr int kAnotherRunInProgress = 1618;

class RunLock {
 public:
  // The first stage: false when another run of this installation holds it.
  bool Take(const wchar_t* installed_uninstaller);
  // The first stage, once the copy is started: waits until the copy holds
  // the lock too, so that it never goes free in between.
  void HandOver();
  // The copy: holds the lock its first stage took, and tells it so.
  void Join(const wchar_t* installed_uninstaller);

 private:
  UniqueHandle lock_;
  UniqueHandle held_;
};

}  // namespace qx
