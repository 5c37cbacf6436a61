#include "engine/win/log/aside_folder.h"

#include <algorithm>
#include <vector>

#include "common/path_links.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

constexpr int kAsideAttempts = 64;

// Where in-use files go: one folder per volume root, made on first use, and
// the count that names the files moved there.
struct AsideFolders {
  std::vector<core::Text> folders;
  uint32_t count = 0;
} g_aside;

}  // namespace

std::wstring MoveAside(const std::wstring& path, DWORD delete_error) {
  if (delete_error != ERROR_SHARING_VIOLATION && delete_error != ERROR_ACCESS_DENIED) return std::wstring();
  const core::Text temp_folder = Expand(u"%TMP%");
  const core::Text folder = core::AsideFolderFor(FromWide(path.c_str()), temp_folder);
  if (folder.empty()) return std::wstring();
  const std::wstring wide_folder = ToWide(folder);
  if (std::find(g_aside.folders.begin(), g_aside.folders.end(), folder) == g_aside.folders.end()) {
    if (!CreateDirectoryW(wide_folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return std::wstring();
    // A folder planted as a link would carry the file somewhere else.
    if (PassesThroughLink(wide_folder.c_str())) return std::wstring();
    if (!core::StartsWithNoCase(folder, temp_folder))
      SetFileAttributesW(wide_folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    g_aside.folders.push_back(folder);
  }
  // A name taken by an earlier run that still waits for its restart moves
  // the count on; any other refusal leaves the file where it is.
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    const std::wstring target = ToWide(core::AsideName(folder, GetCurrentProcessId(), ++g_aside.count));
    if (MoveFileExW(path.c_str(), target.c_str(), 0)) return target;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  return std::wstring();
}

}  // namespace qx::engine
