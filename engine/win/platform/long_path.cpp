#include "engine/win/platform/long_path.h"

#include <windows.h>

#include <memory>

#include "common/file_identity.h"
#include "common/path_links.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

core::Text FullLongPathOf(core::TextView path) {
  // Too large for the stack beside the copy FullLongPath keeps there.
  auto full = std::make_unique<FixedString<wchar_t, kLongestPath + 1>>();
  const core::Text given(path);
  return FullLongPath(WideOf(given), *full) ? FromWide(full->get()) : given;
}

core::Text PathKey(core::TextView path) {
  core::Text key = FullLongPathOf(path);
  CharUpperBuffW(WideOf(key), static_cast<DWORD>(key.size()));
  // Up to its first zero, as the platform reads it.
  return core::Text(key.c_str());
}

}  // namespace qx::engine
