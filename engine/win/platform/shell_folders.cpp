#include "engine/win/platform/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "common/fixed_string.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/system_library.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {
namespace {

using core::Text;
using PathBuffer = FixedString<wchar_t, MAX_PATH>;

// The shell folders looked up so far in this load of the engine.
SpecialFolders g_shell_folders;

// The shell is loaded with the first folder asked for, not with the engine.
Text AskShell(int csidl) {
  HMODULE& shell = Late().shell;
  auto locate = SystemFunctionAs<decltype(&SHGetSpecialFolderLocation)>(shell, L"shell32.dll",
                                                                        "SHGetSpecialFolderLocation");
  auto path_of = SystemFunctionAs<decltype(&SHGetPathFromIDListW)>(shell, L"shell32.dll", "SHGetPathFromIDListW");
  if (!locate || !path_of) return Text();
  LPITEMIDLIST list = nullptr;
  if (FAILED(locate(nullptr, csidl, &list)) || !list) return Text();
  PathBuffer path;
  BOOL found = path_of(list, path.writable());
  CoTaskMemFree(list);
  if (!found || !path.commit(TextLength(path.get()))) return Text();
  return FromWide(path.get());
}

}  // namespace

Text SpecialFolderPath(int csidl) {
  SpecialFolders& folders = g_shell_folders;
  if (csidl < 0 || csidl >= SpecialFolders::kCount) return AskShell(csidl);
  const uint64_t bit = uint64_t(1) << csidl;
  if (!(folders.known & bit)) {
    folders.path[csidl] = AskShell(csidl);
    folders.known |= bit;
  }
  return folders.path[csidl];
}

}  // namespace qx::engine
