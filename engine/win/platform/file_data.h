// Small file operations of the helper exports: appending text, and a file's
// checksum and size.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/text.h"

namespace qx::engine {

// Opens |path| for writing (creating it when missing) and appends |text| as
// UTF-8, then CR LF when |line_end|. True only when everything was written.
bool AppendTextToFile(const wchar_t* path, core::TextView text, bool line_end);

// The CRC-32 of the file's contents, read in pieces. False when it cannot be
// opened or read.
bool FileChecksum(const wchar_t* path, uint32_t& crc);

bool FileSize(const wchar_t* path, uint64_t& size);

}  // namespace qx::engine
