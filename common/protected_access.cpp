#include "common/protected_access.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

#include "common/unique_resource.h"

namespace qx {
namespace {

// Passed on to files and folders inside; on lock objects they mean nothing.
constexpr BYTE kInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// SYSTEM, Administrators, and TrustedInstaller, the service that owns the
// system's own folders; CREATOR OWNER stands only for whoever creates inside.
bool IsTrusted(PSID sid) {
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
      IsWellKnownSid(sid, WinCreatorOwnerSid)) {
    return true;
  }
  // S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
  static constexpr DWORD kTrustedInstaller[] = {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464};
  static constexpr BYTE kNtAuthority[] = {0, 0, 0, 0, 0, 5};
  if (*GetSidSubAuthorityCount(sid) != 6 || memcmp(GetSidIdentifierAuthority(sid)->Value, kNtAuthority, 6) != 0)
    return false;
  for (DWORD i = 0; i < 6; ++i)
    if (*GetSidSubAuthority(sid, i) != kTrustedInstaller[i]) return false;
  return true;
}

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

bool IsClosedToUsers(PSECURITY_DESCRIPTOR descriptor) {
  // What lets a holder rename or remove the folder or what is in it, or give
  // itself that right.
  constexpr ACCESS_MASK kChanging = DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !IsTrusted(owner)) return false;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return false;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    const BYTE type = ace->Header.AceType;
    if (type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
        (ace->Header.AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    // Any other kind of entry is not understood here, and refused.
    if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) return false;
    if ((ace->Mask & kChanging) && !IsTrusted(const_cast<DWORD*>(&ace->SidStart))) return false;
  }
  return true;
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
