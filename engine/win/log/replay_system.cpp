#include "engine/win/log/replay_system.h"

#include <windows.h>
#include <aclapi.h>

#include "common/path_links.h"
#include "common/protected_access.h"
#include "engine/core/uninstall_start_rules.h"
#include "engine/include/launcher_contract.h"
#include "engine/win/log/aside_folder.h"
#include "engine/win/log/removal.h"
#include "engine/win/platform/run_record.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/long_path.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

using core::Text;
using core::TextView;

constexpr int kUnregisterLimit = 3000;

// A path's last component as the platform reads it: trailing dots and
// spaces do not count.
TextView LastComponent(TextView path) {
  size_t end = path.size();
  while (end > 0 && (path[end - 1] == u'.' || path[end - 1] == u' ')) --end;
  const size_t start = path.substr(0, end).find_last_of(u"\\/");
  return path.substr(start == TextView::npos ? 0 : start + 1, end - (start == TextView::npos ? 0 : start + 1));
}

// A first look only, so it may say yes too often but never no wrongly:
// letters A-Z in any case, and any two characters beyond ASCII, match.
bool MayBeNamed(TextView name, TextView own) {
  if (name.size() != own.size() || own.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (core::FoldAZ(name[i]) != core::FoldAZ(own[i]) && (name[i] < 0x80 || own[i] < 0x80)) return false;
  return true;
}

Text ShortNameOf(const Text& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetShortPathNameW(WideOf(path), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Text(LastComponent(FromWide(buffer))) : Text();
}

// A path longer than the platform's longest names nothing.
bool TooLongToExist(const Text& path) { return path.size() > kLongestPath; }

}  // namespace

void IdentifyOwnFiles(TextView uninstaller, OwnFile (&own)[2]) {
  const Text program = FullLongPathOf(uninstaller);
  const Text paths[2] = {program, FullLongPathOf(core::LogPathFor(program))};
  for (int i = 0; i < 2; ++i) {
    own[i] = OwnFile();
    own[i].long_path = paths[i];
    own[i].names[0] = Text(LastComponent(paths[i]));
    own[i].names[1] = ShortNameOf(paths[i]);
    own[i].identified = IdentityOf(WideOf(paths[i]), own[i].identity);
  }
}

bool WinReplayFacts::IsUninstallerOrItsLog(const Text& path) const {
  const TextView name = LastComponent(path);
  for (size_t i = 0; i < own_count_; ++i) {
    const OwnFile& own = own_[i];
    if (!MayBeNamed(name, own.names[0]) && !MayBeNamed(name, own.names[1])) continue;
    FileIdentity identity;
    if (own.identified && IdentityOf(WideOf(path), identity)) {
      if (identity == own.identity) return true;
      continue;
    }
    const Text full = FullLongPathOf(path);
    if (EqualPathText(WideOf(full), full.size(), WideOf(own.long_path), own.long_path.size())) return true;
  }
  return false;
}

core::EntryFacts WinReplayFacts::FactsOf(const Text& path) {
  core::EntryFacts facts;
  // Nothing lies behind a path too long to exist: the removal finds nothing.
  if (TooLongToExist(path)) return facts;
  const size_t cut = path.find_last_of(u"\\/");
  const TextView folder = TextView(path).substr(0, cut == Text::npos ? 0 : cut);
  if (!folder_known_ || folder != folder_) {
    folder_.assign(folder);
    folder_known_ = true;
    folder_linked_ = qx::PassesThroughLink(WideOf(path));
    folder_remote_ = !qx::CanActAtRestart(WideOf(path));
  }
  facts.behind_link = folder_linked_;
  facts.remote = folder_remote_;
  facts.own = IsUninstallerOrItsLog(path);
  const DWORD attributes = GetFileAttributesW(WideOf(path));
  facts.is_file = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  return facts;
}

bool WinReplayFacts::ClosedToUsers(const Text& path) {
  // Each folder from the file's own up to its drive's root, by its access
  // list: one that a user could rename would let a link take its place.
  const size_t root = qx::DriveRootLength(path);
  if (root == 0) return false;
  Text folder = path;
  for (;;) {
    const size_t cut = folder.find_last_of(u"\\/");
    if (cut == Text::npos || cut + 1 < root) return false;
    folder.resize(cut + 1 == root ? root : cut);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(WideOf(folder), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
      return false;
    }
    UniqueLocalMemory held(descriptor);
    if (!IsClosedToUsers(descriptor)) return false;
    if (folder.size() == root) return true;
  }
}

std::vector<size_t> WinReplayFacts::NamesLeft(const std::vector<const Text*>& paths) {
  // One listing of the folder rather than a look at each name: a missing
  // name costs the platform a search of its folder (Wine), and a pending
  // delete refuses its attributes (Windows). A name that is still there is
  // listed under its long or its short form.
  std::vector<size_t> left;
  const Text& first = *paths.front();
  const size_t cut = first.find_last_of(u"\\/");
  const Text pattern = first.substr(0, cut == Text::npos ? 0 : cut) + u"\\*";
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW(WideOf(pattern), &entry));
  if (!listing) return left;
  core::EntrySet names;
  do {
    for (wchar_t* name : {entry.cFileName, entry.cAlternateFileName}) {
      if (!name[0] || (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))) continue;
      CharUpperW(name);
      names.Set(FromWide(name), core::EntryCode::kPlain);
    }
  } while (FindNextFileW(listing.get(), &entry));
  for (size_t i = 0; i < paths.size() && names.size() != 0; ++i) {
    Text name(LastComponent(*paths[i]));
    CharUpperW(WideOf(name));
    if (names.Find(name)) left.push_back(i);
  }
  return left;
}

Text WinReplayFacts::KeyOf(const Text& path) { return PathKey(path); }

void WinReplayFacts::VisitChildren(const Text& folder, ChildVisitor& visit) {
  // Each child's key is its folder's full long form, then its long name,
  // in upper case: what PathKey makes of it.
  const Text full(core::WithoutTrailingBackslash(FullLongPathOf(folder)));
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW(WideOf(full + u"\\*"), &entry));
  if (!listing) return;
  do {
    const wchar_t* name = entry.cFileName;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
    Text child = full + u"\\" + FromWide(name);
    CharUpperBuffW(WideOf(child), static_cast<DWORD>(child.size()));
    if (!visit.Visit(child)) return;
  } while (FindNextFileW(listing.get(), &entry));
}

bool WinReplayActions::ReleaseSharedFile(const Text& path) { return engine::ReleaseSharedFile(path); }

void WinReplayActions::Unregister(const Text& path) { RegisterServer(Expand(path), false, kUnregisterLimit); }

uint32_t WinReplayActions::Remove(core::LogEntryKind kind, std::span<const Text> fields) {
  const Text& path = fields[0];
  switch (kind) {
    case core::kLogFile:
      return TooLongToExist(path) ? ERROR_FILENAME_EXCED_RANGE : DeleteFileEntry(WideOf(path));
    case core::kLogFolder:
      return TooLongToExist(path) ? ERROR_FILENAME_EXCED_RANGE : RemoveFolderEntry(WideOf(path));
    case core::kLogRegistryKey:
      return DeleteRegistryKey(path);
    case core::kLogRegistryValue:
      return RemoveValue(path, fields[1]);
    default: {
      // An INI key: a missing file is no error of the profile call's.
      if (GetFileAttributesW(WideOf(path)) == INVALID_FILE_ATTRIBUTES) {
        const DWORD missing = GetLastError();
        if (missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND) return missing;
      }
      return DeleteIniKey(path, fields[1], fields[2]);
    }
  }
}

DWORD WinReplayActions::RemoveValue(const Text& key, const Text& name) {
  // One text names one key for the whole phase: it is expanded and opened once.
  if (!value_key_known_ || key != value_key_) {
    value_key_known_ = true;
    value_key_ = key;
    value_key_handle_.reset();
    RegistryKeyPath split;
    if (!SplitRegistryPath(Expand(key), split))
      value_key_error_ = ERROR_BAD_PATHNAME;
    else if (NoSuchKeyName(split.subkey))
      value_key_error_ = ERROR_FILENAME_EXCED_RANGE;
    else
      value_key_error_ = RegOpenKeyExW(split.root, split.subkey.c_str(), 0, KEY_ALL_ACCESS, value_key_handle_.put());
  }
  if (value_key_error_ != ERROR_SUCCESS) return value_key_error_;
  return RegDeleteValueW(value_key_handle_.get(), WideOf(Expand(name)));
}

Text WinReplayActions::MoveAside(const Text& path) { return FromWide(engine::MoveAside(ToWide(path)).c_str()); }

bool WinReplayActions::Report(const Text& path, bool gone) {
  // Any other answer means nothing: a caller may return what it likes.
  return !callback_ || callback_(contract::kReplayedFile, WideOf(path), gone ? 1 : 0) != contract::kReplayNotScheduled;
}

void WinReplayActions::Record(core::LogEntryKind kind, const Text& path, const core::EntryOutcome& outcome) {
  if (Recording())
    RecordLine(core::RecordLine(kind, path, outcome, outcome.error != 0 ? ErrorText(outcome.error) : Text()));
}

}  // namespace qx::engine
