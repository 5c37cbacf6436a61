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
  return FullLongPath(ToWide(path).c_str(), *full) ? FromWide(full->get()) : core::Text(path);
}

core::Text PathKey(core::TextView path) {
  std::wstring key = ToWide(FullLongPathOf(path));
  CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return FromWide(key.c_str());
}

}  // namespace qx::engine
