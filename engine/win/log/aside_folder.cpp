#include "engine/win/log/aside_folder.h"

#include <cstddef>
#include <cwchar>

#include "common/file_identity.h"
#include "common/path_links.h"
#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

constexpr int kAsideAttempts = 64;
constexpr DWORD kFreshFolderAttempts = 16;
// Files on more volumes than this in one run stay where they are.
constexpr size_t kVolumes = 8;
// Nothing is followed: a link is opened as the link itself.
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folder of one volume, held open with list access and without delete
// sharing while the engine is loaded: nobody can rename, remove or replace it
// under the run.
struct AsideFolder {
  std::wstring wanted;
  // |wanted|, or a fresh folder beside it; empty when neither can be used.
  std::wstring path;
  UniqueFile held;
  bool made = false;   // by this run
  uint32_t files = 0;  // moved into it by this run
};

struct AsideFolders {
  AsideFolder folders[kVolumes];
  size_t used = 0;
  // Names the files moved during this run.
  uint32_t count = 0;
} g_aside;


// The folder at |path| held (common/path_links.h), unless it is a link or no
// folder. A folder this run has just made carries the protected list; any
// other must show exactly that list, for someone else may have made it.
UniqueFile TrustedFolder(const wchar_t* path, bool made_here) {
  UniqueFile held;
  if (!HoldFolder(path, FILE_LIST_DIRECTORY | READ_CONTROL | SYNCHRONIZE, held) ||
      (!made_here && !HasProtectedDescriptor(held.get(), SE_FILE_OBJECT))) {
    return UniqueFile();
  }
  return held;
}

bool UseFolder(AsideFolder& folder, const wchar_t* path, bool made_here) {
  folder.held = TrustedFolder(path, made_here);
  if (!folder.held) return false;
  SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN);
  folder.path = path;
  folder.made = made_here;
  return true;
}

// A folder that received nothing is not left behind: one this run made is
// removed at once, and the next file tries again.
void LetGoIfEmpty(AsideFolder& folder) {
  if (folder.files != 0 || !folder.made) return;
  folder.held.reset();
  RemoveDirectoryW(folder.path.c_str());
  folder.path.clear();
  folder.made = false;
}

// |folder.wanted| when it can be trusted, else a fresh folder of this run's
// beside it; when neither can be had, |folder.path| stays empty.
void ChooseFolder(AsideFolder& folder) {
  ProtectedDescriptor access;
  if (!access.valid() || folder.wanted.size() >= MAX_PATH) return;
  const bool made = CreateDirectoryW(folder.wanted.c_str(), access.attributes()) != 0;
  if ((made || GetLastError() == ERROR_ALREADY_EXISTS) && UseFolder(folder, folder.wanted.c_str(), made)) return;
  for (DWORD attempt = 1; attempt <= kFreshFolderAttempts; ++attempt) {
    wchar_t fresh[MAX_PATH + 24];
    wsprintfW(fresh, L"%s-%lu-%lu", folder.wanted.c_str(), GetCurrentProcessId(), attempt);
    if (CreateDirectoryW(fresh, access.attributes())) {
      UseFolder(folder, fresh, true);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

AsideFolder* FolderFor(const std::wstring& wanted) {
  AsideFolder* folder = nullptr;
  for (size_t i = 0; i < g_aside.used && !folder; ++i)
    if (g_aside.folders[i].wanted == wanted) folder = &g_aside.folders[i];
  if (!folder) {
    if (g_aside.used == kVolumes) return nullptr;
    folder = &g_aside.folders[g_aside.used++];
    folder->wanted = wanted;
  }
  if (folder->path.empty()) ChooseFolder(*folder);
  return folder;
}

// Renames the open |file| itself, so the file that moves is the one that
// was opened. False where the platform cannot (before Vista): the file then
// stays where it is.
bool RenameOpenFile(HANDLE file, const wchar_t* target) {
  using SetInformationFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, void*, DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set_information = reinterpret_cast<SetInformationFunction>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetFileInformationByHandle") : nullptr));
  if (!set_information) return false;
  const size_t name_bytes = wcslen(target) * sizeof(wchar_t);
  const size_t size = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
  UniqueHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (!block) return false;
  auto* rename = static_cast<FILE_RENAME_INFO*>(block.get());
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  CopyMemory(rename->FileName, target, name_bytes);
  return set_information(file, FileRenameInfo, rename, static_cast<DWORD>(size)) != 0;
}

// Whether the file now at |path|, reached through no link, is |moved|.
bool IsAt(const wchar_t* path, const FileIdentity& moved) {
  if (PassesThroughLink(path)) return false;
  UniqueFile found(
      CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  FileIdentity identity;
  return found && IdentityOf(found.get(), identity) && identity == moved;
}

}  // namespace

std::wstring MoveAside(const std::wstring& path) {
  const std::wstring wanted = ToWide(core::AsideFolderFor(FromWide(path.c_str())));
  if (wanted.empty()) return std::wstring();
  // Renaming needs delete access, the same as a delete that a holder without
  // delete sharing refuses: such a file stays where it is, and no folder is
  // made for it.
  UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                              OPEN_EXISTING, kNoFollow, nullptr));
  FileIdentity identity;
  if (!file || !IdentityOf(file.get(), identity)) return std::wstring();
  AsideFolder* folder = FolderFor(wanted);
  if (!folder || folder->path.empty()) return std::wstring();
  // A name taken by an earlier run that still waits for its restart moves
  // the count on; any other refusal leaves the file where it is.
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    // "<folder>\qx<process id, 8 hex digits>-<count>.tmp"
    wchar_t target[MAX_PATH + 48];
    wsprintfW(target, L"%s\\qx%08lx-%lu.tmp", folder->path.c_str(), GetCurrentProcessId(), ++g_aside.count);
    if (RenameOpenFile(file.get(), target)) {
      // Only a file found where it was put is left for the restart there;
      // otherwise it goes back and is left for the restart in place.
      if (IsAt(target, identity)) {
        ++folder->files;
        return target;
      }
      RenameOpenFile(file.get(), path.c_str());
      break;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  LetGoIfEmpty(*folder);
  return std::wstring();
}

}  // namespace qx::engine
