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

namespace qx {

struct SidBuffer {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE];
  PSID get() { return bytes; }
};

// False when the platform cannot make the SID.
bool MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, SidBuffer& sid);

// The descriptor in fixed buffers of its own: it points into itself, so it
// is neither copied nor moved.
class ProtectedDescriptor {
 public:
  ProtectedDescriptor();
  ProtectedDescriptor(const ProtectedDescriptor&) = delete;
  ProtectedDescriptor& operator=(const ProtectedDescriptor&) = delete;

  // False when the platform refused to build it; nothing may then be created
  // with it.
  bool valid() const { return valid_; }
  // For CreateDirectoryW, CreateMutexExW and the like.
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  static constexpr DWORD kAclBytes = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  SidBuffer system_;
  SidBuffer administrators_;
  alignas(DWORD) BYTE acl_[kAclBytes];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
  bool valid_;
};

// True when |descriptor| is exactly what ProtectedDescriptor builds: owner
// Administrators, a protected access list of two entries allowing full
// control to SYSTEM and to Administrators, passed on to what is inside and
// not inherited. Anything more, less or other is false.
bool IsProtectedDescriptor(PSECURITY_DESCRIPTOR descriptor);

// The same for the object |handle| (opened with READ_CONTROL) of |type|.
bool HasProtectedDescriptor(HANDLE handle, SE_OBJECT_TYPE type);

}  // namespace qx
