// The access list of what an elevated run makes for itself: its runtime
// folder, the folder that in-use files are moved into, and its lock objects.
// Owner Administrators; SYSTEM and Administrators have full control, passed on
// to everything inside; nothing is inherited from above (a protected list).
// A user without administrator rights can neither put anything there nor
// change, rename or remove what is there. Built in this one place for the
// launcher and the engine.
#pragma once

#include <windows.h>
#include <accctrl.h>

#include "common/unique_resource.h"

namespace qx {

// The list as the platform's descriptor text: owner Administrators (BA);
// a protected list (P) allowing full control (FA) to SYSTEM (SY) and to
// Administrators (BA), passed on to files (OI) and folders (CI) inside.
inline constexpr wchar_t kProtectedAccessText[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The descriptor made from that text, held for the calls that create with it.
class ProtectedDescriptor {
 public:
  ProtectedDescriptor();
  ProtectedDescriptor(const ProtectedDescriptor&) = delete;
  ProtectedDescriptor& operator=(const ProtectedDescriptor&) = delete;

  // False when the platform refused to build it; nothing may then be created
  // with it.
  bool valid() const { return descriptor_.valid(); }
  // For CreateDirectoryW, CreateMutexExW and the like.
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  UniqueLocalMemory descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

// True when |descriptor| is exactly what ProtectedDescriptor makes: owner
// Administrators, a protected access list of two entries allowing full
// control to SYSTEM and to Administrators, passed on to what is inside and
// not inherited. Anything more, less or other is false.
bool IsProtectedDescriptor(PSECURITY_DESCRIPTOR descriptor);

// The same for the object |handle| (opened with READ_CONTROL) of |type|.
bool HasProtectedDescriptor(HANDLE handle, SE_OBJECT_TYPE type);

// True when no user without administrator rights can rename, remove or
// replace the folder that |descriptor| describes, or anything in it, or give
// itself that right: its owner is SYSTEM, Administrators or TrustedInstaller,
// and no entry that applies to it gives anybody else delete, delete-child,
// access or owner rights. A user may still create there (as in a drive's
// root): what exists cannot be swapped. Denying entries are not counted on.
bool IsClosedToUsers(PSECURITY_DESCRIPTOR descriptor);

// Creates the folder |path| with the protected list. A run without
// administrator rights cannot make a folder owned by Administrators; it gets
// the default access of its own temporary folder, which nobody else may write
// in, and changes nothing anyway. False with the creation's error.
bool CreateProtectedFolder(const wchar_t* path);

}  // namespace qx
