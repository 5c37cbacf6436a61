#include "uninstall/run_lock.h"

#include <cstdint>

#include "common/protected_access.h"

namespace qx {
namespace {

// The copy takes the lock right after its start-up; this only covers a copy
// that dies first, never a hang.
constexpr DWORD kHandOverWaitMs = 10000;
// A namespace whose last holder closes it between the create and the open
// is made anew.
constexpr int kNamespaceAttempts = 3;

constexpr wchar_t kNamespace[] = L"QXUninstall";

enum class Place { kNamespace, kGlobal, kNone };

// Object names cannot hold backslashes and are limited in length, so the
// path goes in hashed (64-bit FNV-1a of its long form, upper-cased), after
// |prefix|; the events' names are the lock's with ".held" and ".done".
bool Names(const wchar_t* installed_uninstaller, const wchar_t* prefix, LockObjectNames& names) {
  wchar_t path[MAX_PATH];
  DWORD length = GetLongPathNameW(installed_uninstaller, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    if (lstrlenW(installed_uninstaller) >= MAX_PATH) return false;
    lstrcpynW(path, installed_uninstaller, MAX_PATH);
    length = static_cast<DWORD>(lstrlenW(path));
  }
  CharUpperBuffW(path, length);
  uint64_t hash = 14695981039346656037ull;
  for (DWORD i = 0; i < length; ++i) {
    hash ^= static_cast<uint16_t>(path[i]);
    hash *= 1099511628211ull;
  }
  wchar_t digits[17];
  for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = L"0123456789abcdef"[hash & 0xF];
  digits[16] = 0;
  return names.lock.assign(prefix) && names.lock.append(digits) && names.held.assign(names.lock.get()) &&
         names.held.append(L".held") && names.finished.assign(names.lock.get()) && names.finished.append(L".done");
}

struct SidBuffer {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE];
  PSID get() { return bytes; }
};

bool MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, SidBuffer& sid) {
  DWORD size = sizeof sid.bytes;
  return CreateWellKnownSid(type, nullptr, sid.get(), &size) != 0;
}

bool IsAdministrator() {
  SidBuffer administrators;
  BOOL member = FALSE;
  return MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators) &&
         CheckTokenMembership(nullptr, administrators.get(), &member) && member;
}

// Opens, or creates, the namespace that only a process in the Administrators
// group can create. kGlobal where the platform has none (Wine makes no
// boundary descriptor); kNone when it exists but cannot be opened.
Place OpenNamespace(ProtectedDescriptor& access, UniqueNamespace& opened) {
  HANDLE descriptor = CreateBoundaryDescriptorW(kNamespace, 0);
  if (!descriptor) return Place::kGlobal;
  SidBuffer administrators;
  const bool bounded = MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators) &&
                       AddSIDToBoundaryDescriptor(&descriptor, administrators.get());
  UniqueBoundary boundary(descriptor);
  if (!bounded) return Place::kNone;
  for (int attempt = 0; attempt < kNamespaceAttempts; ++attempt) {
    opened.reset(CreatePrivateNamespaceW(access.attributes(), boundary.get(), kNamespace));
    if (opened) return Place::kNamespace;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return Place::kNone;
    opened.reset(OpenPrivateNamespaceW(boundary.get(), kNamespace));
    if (opened) return Place::kNamespace;
  }
  return Place::kNone;
}

// An event of the run, made with the protected list. A global name is
// anybody's to create first: one that exists without that list is refused
// like a foreign lock, so that nobody else can set the copy's mark.
HANDLE CreateOwnEvent(ProtectedDescriptor& access, Place place, const wchar_t* name) {
  UniqueHandle event(CreateEventExW(access.attributes(), name, CREATE_EVENT_MANUAL_RESET,
                                    SYNCHRONIZE | EVENT_MODIFY_STATE | READ_CONTROL));
  if (event && GetLastError() == ERROR_ALREADY_EXISTS && place == Place::kGlobal &&
      !HasProtectedDescriptor(event.get(), SE_KERNEL_OBJECT)) {
    return nullptr;
  }
  return event.release();
}

}  // namespace

bool GlobalLockNames(const wchar_t* installed_uninstaller, LockObjectNames& names) {
  return Names(installed_uninstaller, L"Global\\QXUninstall.", names);
}

RunLock::Outcome RunLock::Acquire(const wchar_t* installed_uninstaller, bool first_stage) {
  if (!IsAdministrator()) return Outcome::kUnguarded;
  ProtectedDescriptor access;
  if (!access.valid()) return Outcome::kBusy;
  const Place place = OpenNamespace(access, namespace_);
  if (place == Place::kNone) return Outcome::kBusy;
  LockObjectNames names;
  const bool named = place == Place::kNamespace ? Names(installed_uninstaller, L"QXUninstall\\", names)
                                                : GlobalLockNames(installed_uninstaller, names);
  // Without a name there is nothing to share: the run goes on unguarded.
  if (!named) return Outcome::kUnguarded;
  // The lock is its existence, never waited for: opening it asks for no more
  // than synchronising, and, for a global one, reading its owner and list.
  const DWORD access_wanted = SYNCHRONIZE | (place == Place::kGlobal ? READ_CONTROL : 0);
  lock_.reset(CreateMutexExW(access.attributes(), names.lock.get(), 0, access_wanted));
  const DWORD error = GetLastError();
  // It exists and cannot be opened: a run at work whose lock grants us less.
  if (!lock_) return Outcome::kBusy;
  if (!first_stage) {
    finished_.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, names.finished.get()));
    UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, names.held.get()));
    if (event) SetEvent(event.get());
    return Outcome::kHeld;
  }
  Outcome outcome = Outcome::kHeld;
  if (error == ERROR_ALREADY_EXISTS) {
    // A global name is anybody's to create first: only a peer's counts.
    const bool peer = place == Place::kNamespace || HasProtectedDescriptor(lock_.get(), SE_KERNEL_OBJECT);
    lock_.reset();
    if (peer) return Outcome::kBusy;
    outcome = Outcome::kUnguarded;
  }
  held_.reset(CreateOwnEvent(access, place, names.held.get()));
  // A mark left set by an earlier copy whose handle lingers is not this one's.
  finished_.reset(CreateOwnEvent(access, place, names.finished.get()));
  if (finished_) ResetEvent(finished_.get());
  return outcome;
}

bool RunLock::Take(const wchar_t* installed_uninstaller) {
  return Acquire(installed_uninstaller, true) != Outcome::kBusy;
}

void RunLock::HandOver() {
  if (held_) WaitForSingleObject(held_.get(), kHandOverWaitMs);
  held_.reset();
}

bool RunLock::Join(const wchar_t* installed_uninstaller) {
  return Acquire(installed_uninstaller, false) != Outcome::kBusy;
}

void RunLock::MarkFinished() {
  if (finished_) SetEvent(finished_.get());
}

bool RunLock::CopyFinished() const {
  return finished_ && WaitForSingleObject(finished_.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace qx
