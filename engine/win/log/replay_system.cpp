#include "engine/win/log/replay_system.h"

#include <windows.h>

#include "common/path_links.h"
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

using core::OpResult;
using core::Status;
using core::Text;
using core::TextView;

constexpr int kUnregisterLimit = 3000;

// The platform's view of a core text, without a copy: both are UTF-16.
const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

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
  const DWORD length = GetShortPathNameW(Wide(path), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Text(LastComponent(FromWide(buffer))) : Text();
}

OpResult Result(Status status, DWORD error) { return OpResult{status, static_cast<uint32_t>(error)}; }

// A path longer than the platform's longest names nothing.
bool TooLongToExist(const Text& path) { return path.size() > kLongestPath; }

// A key name longer than the registry's 255 characters names nothing.
bool NoSuchKeyName(const std::wstring& subkey) {
  constexpr size_t kLongestKeyName = 255;
  size_t start = 0;
  for (size_t end; (end = subkey.find(L'\\', start)) != std::wstring::npos; start = end + 1)
    if (end - start > kLongestKeyName) return true;
  return subkey.size() - start > kLongestKeyName;
}

}  // namespace

void IdentifyOwnFiles(TextView uninstaller, OwnFile (&own)[2]) {
  const Text program = FullLongPathOf(uninstaller);
  const Text paths[2] = {program, FullLongPathOf(core::LogPathFor(program))};
  for (int i = 0; i < 2; ++i) {
    own[i] = OwnFile();
    own[i].long_path = paths[i];
    own[i].names[0] = Text(LastComponent(paths[i]));
    own[i].names[1] = ShortNameOf(paths[i]);
    own[i].identified = IdentityOf(Wide(paths[i]), own[i].identity);
  }
}

WinReplaySystem::WinReplaySystem(ReplayCallback callback, const OwnFile* own, size_t own_count)
    : callback_(callback), own_(own), own_count_(own_count) {}

bool WinReplaySystem::IsUninstallerOrItsLog(const Text& path) {
  const TextView name = LastComponent(path);
  for (size_t i = 0; i < own_count_; ++i) {
    const OwnFile& own = own_[i];
    if (!MayBeNamed(name, own.names[0]) && !MayBeNamed(name, own.names[1])) continue;
    FileIdentity identity;
    if (own.identified && IdentityOf(Wide(path), identity)) {
      if (identity == own.identity) return true;
      continue;
    }
    const Text full = FullLongPathOf(path);
    if (EqualPathText(Wide(full), full.size(), Wide(own.long_path), own.long_path.size())) return true;
  }
  return false;
}

bool WinReplaySystem::PassesThroughLink(const Text& path) {
  // Nothing lies behind a path too long to exist: the removal finds nothing.
  if (TooLongToExist(path)) return false;
  const size_t cut = path.find_last_of(u"\\/");
  const TextView folder = TextView(path).substr(0, cut == Text::npos ? 0 : cut);
  if (!link_known_ || folder != link_folder_) {
    link_folder_.assign(folder);
    link_answer_ = qx::PassesThroughLink(Wide(path));
    link_known_ = true;
  }
  return link_answer_;
}

bool WinReplaySystem::IsFile(const Text& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<size_t> WinReplaySystem::NamesLeft(const std::vector<const Text*>& paths) {
  // One listing of the folder rather than a look at each name: a missing
  // name costs the platform a search of its folder (Wine), and a pending
  // delete refuses its attributes (Windows). A name that is still there is
  // listed under its long or its short form.
  std::vector<size_t> left;
  const Text& first = *paths.front();
  const size_t cut = first.find_last_of(u"\\/");
  const Text pattern = first.substr(0, cut == Text::npos ? 0 : cut) + u"\\*";
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW(Wide(pattern), &entry));
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
    std::wstring name = ToWide(LastComponent(*paths[i]));
    CharUpperW(name.data());
    if (names.Find(FromWide(name.c_str()))) left.push_back(i);
  }
  return left;
}

Text WinReplaySystem::KeyOf(const Text& path) { return PathKey(path); }

void WinReplaySystem::VisitChildren(const Text& folder, ChildVisitor& visit) {
  // Each child's key is its folder's full long form, then its long name,
  // in upper case: what PathKey makes of it.
  const std::wstring full = ToWide(core::WithoutTrailingBackslash(FullLongPathOf(folder)));
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW((full + L"\\*").c_str(), &entry));
  if (!listing) return;
  do {
    const wchar_t* name = entry.cFileName;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
    std::wstring child = full + L"\\" + name;
    CharUpperBuffW(child.data(), static_cast<DWORD>(child.size()));
    if (!visit.Visit(FromWide(child.c_str()))) return;
  } while (FindNextFileW(listing.get(), &entry));
}

bool WinReplaySystem::ReleaseSharedFile(const Text& path) { return engine::ReleaseSharedFile(path); }

void WinReplaySystem::Unregister(const Text& path) { RegisterServer(Expand(path), false, kUnregisterLimit); }

OpResult WinReplaySystem::DeleteFile(const Text& path) {
  if (TooLongToExist(path)) return Result(Status::kMissing, ERROR_FILENAME_EXCED_RANGE);
  const DWORD error = DeleteFileEntry(Wide(path));
  if (error == ERROR_SUCCESS) return Result(Status::kDone, error);
  if (IsMissing(error)) return Result(Status::kMissing, error);
  if (error == ERROR_DIRECTORY) return Result(Status::kIsFolder, error);
  // A sharing violation, or access denied to a mapped image.
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) return Result(Status::kInUse, error);
  return Result(Status::kFailed, error);
}

OpResult WinReplaySystem::RemoveFolder(const Text& path) {
  if (TooLongToExist(path)) return Result(Status::kMissing, ERROR_FILENAME_EXCED_RANGE);
  const DWORD error = RemoveFolderEntry(Wide(path));
  if (error == ERROR_SUCCESS) return Result(Status::kDone, error);
  if (IsMissing(error)) return Result(Status::kMissing, error);
  if (error == ERROR_DIR_NOT_EMPTY) return Result(Status::kNotEmpty, error);
  if (error == ERROR_DIRECTORY) return Result(Status::kFailed, error);
  return Result(Status::kInUse, error);
}

Text WinReplaySystem::MoveAside(const Text& path) {
  // The planner asks only for files in use, a pending delete among them.
  return FromWide(engine::MoveAside(ToWide(path), ERROR_SHARING_VIOLATION).c_str());
}

std::vector<Text> WinReplaySystem::AsideFolders() {
  std::vector<Text> folders;
  for (const std::wstring& folder : AsideFoldersOfThisRun()) folders.push_back(FromWide(folder.c_str()));
  return folders;
}

bool WinReplaySystem::HasCallback() { return callback_ != nullptr; }

bool WinReplaySystem::Report(const Text& path, bool gone) {
  // Any other answer means nothing: a caller may return what it likes.
  return !callback_ || callback_(contract::kReplayedFile, Wide(path), gone ? 1 : 0) != contract::kReplayNotScheduled;
}

OpResult WinReplaySystem::DeleteRegistryKey(const Text& key) {
  RegistryKeyPath split;
  if (!SplitRegistryPath(key, split) || split.subkey.empty()) return Result(Status::kBadPath, ERROR_SUCCESS);
  const LONG error = RegDeleteKeyW(split.root, split.subkey.c_str());
  if (error == ERROR_SUCCESS) return Result(Status::kDone, error);
  if (IsMissing(error) || NoSuchKeyName(split.subkey)) return Result(Status::kMissing, error);
  // The single-key delete refuses a key with subkeys.
  UniqueKey open;
  DWORD subkeys = 0;
  if (RegOpenKeyExW(split.root, split.subkey.c_str(), 0, KEY_QUERY_VALUE, open.put()) == ERROR_SUCCESS &&
      RegQueryInfoKeyW(open.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS &&
      subkeys > 0) {
    return Result(Status::kNotEmpty, error);
  }
  return Result(Status::kFailed, error);
}

OpResult WinReplaySystem::DeleteRegistryValue(const Text& key, const Text& name) {
  // One text names one key for the whole phase: it is expanded and opened once.
  if (!value_key_known_ || key != value_key_) {
    value_key_known_ = true;
    value_key_ = key;
    value_key_handle_.reset();
    RegistryKeyPath split;
    value_key_error_ =
        SplitRegistryPath(Expand(key), split)
            ? RegOpenKeyExW(split.root, split.subkey.c_str(), 0, KEY_ALL_ACCESS, value_key_handle_.put())
            : ERROR_BAD_PATHNAME;
    value_key_unnamable_ = NoSuchKeyName(split.subkey);
  }
  if (value_key_error_ == ERROR_BAD_PATHNAME) return Result(Status::kBadPath, ERROR_SUCCESS);
  if (value_key_error_ != ERROR_SUCCESS)
    return Result(IsMissing(value_key_error_) || value_key_unnamable_ ? Status::kMissing : Status::kFailed,
                  value_key_error_);
  const LONG error = RegDeleteValueW(value_key_handle_.get(), ToWide(Expand(name)).c_str());
  if (error == ERROR_SUCCESS) return Result(Status::kDone, error);
  return Result(IsMissing(error) ? Status::kMissing : Status::kFailed, error);
}

OpResult WinReplaySystem::DeleteIniKey(const Text& file, const Text& section, const Text& key) {
  if (GetFileAttributesW(Wide(file)) == INVALID_FILE_ATTRIBUTES) {
    const DWORD missing = GetLastError();
    if (IsMissing(missing)) return Result(Status::kMissing, missing);
  }
  const DWORD error = engine::DeleteIniKey(file, section, key);
  return Result(error == ERROR_SUCCESS ? Status::kDone : Status::kFailed, error);
}

void WinReplaySystem::Conclude(core::LogEntryKind kind, const Text& path, const core::EntryOutcome& outcome) {
  if (Recording())
    RecordLine(core::RecordLine(kind, path, outcome, outcome.error != 0 ? ErrorText(outcome.error) : Text()));
}

}  // namespace qx::engine
