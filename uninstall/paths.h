// Path helpers of the launcher: existence checks, the folder part of a path
// and folder creation with all missing parents.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "common/fixed_string.h"

namespace qx {

// Every path the launcher builds fits here: the system temporary folder (at
// most 259 characters), the runtime folder's name and "\", and an archive
// entry name of at most 258 characters.
inline constexpr size_t kPathBufferLength = 782;
// The launcher asks the platform for at most this many characters at once.
inline constexpr DWORD kPlatformPathLength = 260;

using PathBuffer = FixedString<wchar_t, kPathBufferLength>;

// A path buffer as the portable rules fill it (one UTF-16 unit at a time);
// |fits| turns false once a unit did not fit.
struct PathSink {
  PathBuffer path;
  bool fits = true;
  void clear() {
    path.clear();
    fits = true;
  }
  void push_back(char16_t c) { fits = path.append(static_cast<wchar_t>(c)) && fits; }
  std::u16string_view view() const {
    return std::u16string_view(reinterpret_cast<const char16_t*>(path.get()), path.length());
  }
};

// The system temporary folder, with its "\", into |buffer| (|capacity|
// characters): GetTempPath2W where the system has it (SYSTEM's private
// folder), else GetTempPathW. The length, as those report it.
DWORD TemporaryFolderPath(wchar_t* buffer, DWORD capacity);

// True when at least one file or folder matches |path| (wildcards allowed).
bool PathExists(const wchar_t* path);

// Length of the folder part of |path|: up to its last "\", else its last "/",
// else just after its last ":", else 0. The separator itself is not counted.
size_t FolderPartLength(const wchar_t* path, size_t length);

// Cuts |path| back to its folder part (see FolderPartLength).
void StripFileName(PathBuffer& path);

// Creates the folder |path| and every missing folder above it. Returns 0 when
// the folder exists afterwards (or something else of that name already did),
// else the error of the last creation. Paths of 260 characters or more are
// refused with ERROR_FILENAME_EXCED_RANGE. |path| is not changed.
DWORD CreateFolderPath(const wchar_t* path);

}  // namespace qx
