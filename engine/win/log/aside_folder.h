// Where an in-use file goes before it is left for the restart: a folder on
// the file's volume, so that the file's own folder can be removed now. The
// restart's delete runs as SYSTEM by path, so the folder must be one that no
// user without administrator rights can make, change or replace by a link.
#pragma once

#include <windows.h>

#include <string>

namespace qx::engine {

// A file in use (a delete that failed on sharing, or a mapped image) is
// renamed into "qxmoved" at its local volume's root under a name of this
// run. That folder is made with the protected access list
// (common/protected_access.h); an existing one is used only when it is no
// link and carries exactly that list, else a fresh folder of this run's is
// made beside it; one that received nothing is removed at once. The file is renamed by a handle opened on it, and
// then looked for by its identity (volume and file index) at the new path,
// reached through no link. The file is opened for the rename before a folder
// is made. The new path, or empty when the file stays where it is: it could
// not be opened, no folder could be used, it could not be renamed, or it was
// not found where it was put (it is renamed back).
std::wstring MoveAside(const std::wstring& path);

}  // namespace qx::engine
