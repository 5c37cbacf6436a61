// Where an in-use file goes before it is left for the restart: a folder of
// the uninstaller's on the file's volume, so that the file's own folder can
// be removed now.
#pragma once

#include <windows.h>

#include <string>

namespace qx::engine {

// After a delete that failed with |delete_error|: a file in use (a sharing
// violation, or a mapped image) is renamed into the uninstaller's folder on
// its volume, under a name of this run. The new path, or empty when the file
// stays where it is.
std::wstring MoveAside(const std::wstring& path, DWORD delete_error);

}  // namespace qx::engine
