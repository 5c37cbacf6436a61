// Whole-file reading and complete writes, for the engine's small text files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "engine/core/text.h"

namespace qx::engine {

// Reads an open file from its current position to its end, or to |limit|
// bytes. False on a read error.
bool ReadAll(HANDLE file, std::string& bytes, size_t limit = std::string::npos);
// Opens |path| for reading (others may read and write it meanwhile) and reads
// it whole. False when it cannot be opened or read.
bool ReadWholeFile(const wchar_t* path, std::string& bytes);
// True only when every byte was written.
bool WriteAll(HANDLE file, std::string_view bytes);
// True for a file of at least one byte; missing files and folders are not.
bool IsFileWithContent(const wchar_t* path);
// A new empty file with a unique name beginning with |prefix| in |folder|.
bool CreateTemporaryFile(const wchar_t* folder, const wchar_t* prefix, core::Text& path);

}  // namespace qx::engine
