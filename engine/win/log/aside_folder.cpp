#include "engine/win/log/aside_folder.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "common/path_links.h"
#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

constexpr int kAsideAttempts = 64;
constexpr uint32_t kFreshFolderAttempts = 16;
// Nothing is followed: a link is opened as the link itself.
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folder of one volume, held open with list access and without delete
// sharing while the engine is loaded: nobody can rename, remove or replace it
// under the run.
struct AsideFolder {
  core::Text wanted;
  // |wanted|, or a fresh folder beside it; empty when neither can be used.
  core::Text path;
  UniqueFile held;
};

struct AsideFolders {
  std::vector<AsideFolder> folders;
  // Names the files moved during this run.
  uint32_t count = 0;
} g_aside;

struct FileIdentity {
  DWORD volume = 0;
  DWORD high = 0;
  DWORD low = 0;
};

bool IdentityOf(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION facts;
  if (!GetFileInformationByHandle(file, &facts)) return false;
  identity = {facts.dwVolumeSerialNumber, facts.nFileIndexHigh, facts.nFileIndexLow};
  return true;
}

bool IsLinkOrMissing(DWORD attributes) {
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The folder at |path| opened and held, unless it is a link (asked of both
// the handle and the name: Wine shows a link to a folder only by its name) or
// no folder. A folder this run has just made carries the protected list;
// any other must show exactly that list, for someone else may have made it.
UniqueFile HoldFolder(const std::wstring& path, bool made_here) {
  UniqueFile held(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  BY_HANDLE_FILE_INFORMATION facts;
  if (!held || !GetFileInformationByHandle(held.get(), &facts)) return UniqueFile();
  const DWORD by_name = GetFileAttributesW(path.c_str());
  if (!(facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkOrMissing(facts.dwFileAttributes) ||
      IsLinkOrMissing(by_name) || !(by_name & FILE_ATTRIBUTE_DIRECTORY)) {
    return UniqueFile();
  }
  if (!made_here && !HasProtectedDescriptor(held.get(), SE_FILE_OBJECT)) return UniqueFile();
  return held;
}

bool UseFolder(AsideFolder& folder, const core::Text& path, bool made_here) {
  const std::wstring wide = ToWide(path);
  folder.held = HoldFolder(wide, made_here);
  if (!folder.held) return false;
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN);
  folder.path = path;
  return true;
}

// |folder.wanted| when it can be trusted, else a fresh folder of this run's
// beside it; neither leaves |folder.path| empty.
void ChooseFolder(AsideFolder& folder) {
  ProtectedDescriptor access;
  if (!access.valid()) return;
  const bool made = CreateDirectoryW(ToWide(folder.wanted).c_str(), access.attributes()) != 0;
  if ((made || GetLastError() == ERROR_ALREADY_EXISTS) && UseFolder(folder, folder.wanted, made)) return;
  const core::Text base = folder.wanted + u"-" + core::DecimalText(GetCurrentProcessId()) + u"-";
  for (uint32_t attempt = 1; attempt <= kFreshFolderAttempts; ++attempt) {
    const core::Text fresh = base + core::DecimalText(attempt);
    if (CreateDirectoryW(ToWide(fresh).c_str(), access.attributes())) {
      UseFolder(folder, fresh, true);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

const AsideFolder& FolderFor(const core::Text& wanted) {
  for (const AsideFolder& folder : g_aside.folders)
    if (folder.wanted == wanted) return folder;
  AsideFolder folder;
  folder.wanted = wanted;
  ChooseFolder(folder);
  g_aside.folders.push_back(std::move(folder));
  return g_aside.folders.back();
}

// Renames the open |file| itself, so the file that moves is the one that
// was opened. False where the platform cannot (before Vista): the file then
// stays where it is.
bool RenameOpenFile(HANDLE file, const std::wstring& target) {
  using SetInformationFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, void*, DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set_information = reinterpret_cast<SetInformationFunction>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetFileInformationByHandle") : nullptr));
  if (!set_information) return false;
  const size_t name_bytes = target.size() * sizeof(wchar_t);
  std::vector<BYTE> buffer(offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t), 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  CopyMemory(rename->FileName, target.c_str(), name_bytes);
  return set_information(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

// Whether the file now at |path|, reached through no link, is |moved|.
bool IsAt(const std::wstring& path, const FileIdentity& moved) {
  if (PassesThroughLink(path.c_str())) return false;
  UniqueFile found(
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  FileIdentity identity;
  return found && IdentityOf(found.get(), identity) && identity.volume == moved.volume &&
         identity.high == moved.high && identity.low == moved.low;
}

}  // namespace

std::wstring MoveAside(const std::wstring& path, DWORD delete_error) {
  if (delete_error != ERROR_SHARING_VIOLATION && delete_error != ERROR_ACCESS_DENIED) return std::wstring();
  const core::Text wanted = core::AsideFolderFor(FromWide(path.c_str()));
  if (wanted.empty()) return std::wstring();
  const AsideFolder& folder = FolderFor(wanted);
  if (folder.path.empty()) return std::wstring();
  // Renaming needs delete access, the same as a delete that a holder without
  // delete sharing refuses: such a file stays where it is.
  UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                              OPEN_EXISTING, kNoFollow, nullptr));
  FileIdentity identity;
  if (!file || !IdentityOf(file.get(), identity)) return std::wstring();
  // A name taken by an earlier run that still waits for its restart moves
  // the count on; any other refusal leaves the file where it is.
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    const std::wstring target = ToWide(core::AsideName(folder.path, GetCurrentProcessId(), ++g_aside.count));
    if (RenameOpenFile(file.get(), target)) {
      // Only a file found where it was put is left for the restart there;
      // otherwise it goes back and is left for the restart in place.
      if (IsAt(target, identity)) return target;
      RenameOpenFile(file.get(), path);
      return std::wstring();
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  return std::wstring();
}

}  // namespace qx::engine
