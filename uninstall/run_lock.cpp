#include "uninstall/run_lock.h"

#include <cstdint>

#include "common/fixed_string.h"

namespace qx {
namespace {

// The copy takes the lock right after its start-up; this only covers a copy
// that dies first, never a hang.
constexpr DWORD kHandOverWaitMs = 10000;

using ObjectName = FixedString<wchar_t, 64>;

struct ObjectNames {
  ObjectName lock, held, finished;
};

// "Global\QXUninstall.<hash>" and the same with ".held" and ".done". Object names cannot
// hold backslashes and are limited in length, so the path goes in hashed
// (64-bit FNV-1a of its long form, upper-cased). Global, so that two users'
// runs on one installation see each other too.
bool Names(const wchar_t* installed_uninstaller, ObjectNames& names) {
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
  return names.lock.assign(L"Global\\QXUninstall.") && names.lock.append(digits) &&
         names.held.assign(names.lock.get()) && names.held.append(L".held") &&
         names.finished.assign(names.lock.get()) && names.finished.append(L".done");
}

}  // namespace

bool RunLock::Take(const wchar_t* installed_uninstaller) {
  ObjectNames names;
  // Without a name there is nothing to share: the run goes on unguarded.
  if (!Names(installed_uninstaller, names)) return true;
  lock_.reset(CreateMutexW(nullptr, FALSE, names.lock.get()));
  if (lock_ && GetLastError() == ERROR_ALREADY_EXISTS) {
    lock_.reset();
    return false;
  }
  held_.reset(CreateEventW(nullptr, TRUE, FALSE, names.held.get()));
  // A mark left set by an earlier copy whose handle lingers is not this one's.
  finished_.reset(CreateEventW(nullptr, TRUE, FALSE, names.finished.get()));
  if (finished_) ResetEvent(finished_.get());
  return true;
}

void RunLock::HandOver() {
  if (held_) WaitForSingleObject(held_.get(), kHandOverWaitMs);
  held_.reset();
}

void RunLock::Join(const wchar_t* installed_uninstaller) {
  ObjectNames names;
  if (!Names(installed_uninstaller, names)) return;
  lock_.reset(CreateMutexW(nullptr, FALSE, names.lock.get()));
  finished_.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, names.finished.get()));
  UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, names.held.get()));
  if (event) SetEvent(event.get());
}

void RunLock::MarkFinished() {
  if (finished_) SetEvent(finished_.get());
}

bool RunLock::CopyFinished() const {
  return finished_ && WaitForSingleObject(finished_.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace qx
