// What a path's volume and a reparse point allow, decided on text and
// numbers alone so that the launcher and the engine decide alike and the
// rules can be tested anywhere. The platform gathers the facts (a drive's
// type, a reparse point's tag); these say what they mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qx {

// Symbolic links, junctions and mount points carry this bit in their tag:
// they stand for another name.
inline constexpr uint32_t kNameSurrogateTagBit = 0x20000000;

// Only a name surrogate leads elsewhere. Any other reparse point (a cloud
// placeholder, a deduplicated file) is the file or folder it stands for. The
// tag 0 is reserved, never a real one: a reparse point reported with it
// (Wine's links) may be anything, and counts as a link.
constexpr bool IsLinkReparseTag(uint32_t tag) { return tag == 0 || (tag & kNameSurrogateTagBit) != 0; }

namespace volume_detail {

constexpr bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
constexpr bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
constexpr char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// The length of "\\?\" or "\\.\" at the start of |path|, else 0.
constexpr size_t DevicePrefixLength(std::u16string_view path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == u'?' || path[2] == u'.') &&
                 IsSeparator(path[3])
             ? 4
             : 0;
}

}  // namespace volume_detail

// A path on another machine: "\\server\share..." (either separator) or
// "\\?\UNC\server\share...". Device paths of local volumes ("\\?\C:\...",
// "\\.\PhysicalDrive0") are not.
constexpr bool IsNetworkPath(std::u16string_view path) {
  using namespace volume_detail;
  const size_t device = DevicePrefixLength(path);
  if (device == 0) return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
  return path.size() > device + 4 && Upper(path[device]) == u'U' && Upper(path[device + 1]) == u'N' &&
         Upper(path[device + 2]) == u'C' && IsSeparator(path[device + 3]);
}

// The length of the drive root ("C:\") that begins |path|, also after
// "\\?\"; 0 when it has none (a network path, a relative one).
constexpr size_t DriveRootLength(std::u16string_view path) {
  using namespace volume_detail;
  const size_t at = DevicePrefixLength(path);
  return path.size() >= at + 3 && IsLetter(path[at]) && path[at + 1] == u':' && IsSeparator(path[at + 2]) ? at + 3 : 0;
}

// Whether anything may be moved aside or deleted at restart for |path|:
// the system deletes at restart on local volumes only, so never on another
// machine's, whether named by a network path or by a drive that the system
// reports as remote (|drive_is_remote|, a mapped drive).
constexpr bool CanActAtRestart(std::u16string_view path, bool drive_is_remote) {
  return !drive_is_remote && !IsNetworkPath(path);
}

}  // namespace qx
