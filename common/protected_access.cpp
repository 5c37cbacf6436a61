#include "common/protected_access.h"

#include <aclapi.h>
#include <sddl.h>

#include "common/unique_resource.h"

namespace qx {
namespace {

// Passed on to files and folders inside; on lock objects they mean nothing.
constexpr BYTE kInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

}  // namespace

ProtectedDescriptor::ProtectedDescriptor() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedAccessText, SDDL_REVISION_1, &descriptor,
                                                           nullptr)) {
    descriptor_.reset(descriptor);
  }
  attributes_ = {sizeof attributes_, descriptor_.get(), FALSE};
}

bool IsProtectedDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
      !IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision) || !(control & SE_DACL_PROTECTED)) return false;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl || dacl->AceCount != 2)
    return false;
  bool system_seen = false, administrators_seen = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return false;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || ace->Header.AceFlags != kInheritance ||
        ace->Mask != FILE_ALL_ACCESS) {
      return false;
    }
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if (IsWellKnownSid(sid, WinLocalSystemSid)) {
      system_seen = true;
    } else if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
      administrators_seen = true;
    } else {
      return false;
    }
  }
  return system_seen && administrators_seen;
}

bool HasProtectedDescriptor(HANDLE handle, SE_OBJECT_TYPE type) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  UniqueLocalMemory held(descriptor);
  return IsProtectedDescriptor(descriptor);
}

bool CreateProtectedFolder(const wchar_t* path) {
  ProtectedDescriptor access;
  if (!access.valid()) return false;
  if (CreateDirectoryW(path, access.attributes())) return true;
  return GetLastError() == ERROR_INVALID_OWNER && CreateDirectoryW(path, nullptr);
}

}  // namespace qx
