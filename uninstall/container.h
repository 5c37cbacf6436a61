// The container after the launcher's image: the 18-byte header ("QX",
// ArchiveOffset, TotalSize) and the 7z archive of the payload, unpacked with
// the LZMA SDK into the runtime folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "7zFile.h"

namespace qx {

struct LauncherState;

// Opens LauncherPath into LauncherFile (an empty LauncherFile when it cannot
// be opened) and sets ContainerStart, ArchiveOffset and TotalSize from it.
// The caller also treats ContainerStart 0 and TotalSize 0 as failure.
bool ReadContainerHeader(LauncherState& state);

// Where the signature search of the launcher's archive begins:
// ContainerStart + 18 + ArchiveOffset. False when that overflows.
bool ArchiveSearchStart(const LauncherState& state, uint64_t& position);

// Searches |file| forward from |position| for a 7z signature whose start
// header CRC matches; on success |position| is the signature's file offset.
// The last 32 bytes of the file are never a match.
bool FindArchiveSignature(CSzFile* file, uint64_t& position);

// Unpacks every entry of the launcher's archive, read from LauncherFile
// (which it takes over and closes), into RuntimeFolder, which must end with
// "\" at RuntimeFolderLength. Returns 0 or the status of the first failure;
// the last entry name stays appended to RuntimeFolder.
int ExtractPayload(LauncherState& state);

}  // namespace qx
