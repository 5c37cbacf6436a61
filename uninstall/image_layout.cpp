#include "uninstall/image_layout.h"

namespace qx {
namespace {

constexpr uint32_t kLastImageHeaderOffset = 3848;
// The signature and the file header before the optional header.
constexpr size_t kHeadersBeforeOptional = 4 + 20;
constexpr size_t kSectionHeaderSize = 40;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool FindContainerStart(const unsigned char* head, size_t size, size_t optional_header_size, uint32_t& start) {
  start = 0;
  if (size < 64 || Read16(head) != 0x5A4D) return false;
  uint32_t image_header = Read32(head + 60);
  if (image_header >= kLastImageHeaderOffset) return false;
  size_t table = image_header + kHeadersBeforeOptional + optional_header_size;
  if (table > size || Read32(head + image_header) != 0x00004550) return false;
  size_t sections = Read16(head + image_header + 6);
  if (sections > (size - table) / kSectionHeaderSize) return false;

  uint32_t highest_offset = 0;
  uint64_t end = 0;
  for (size_t i = 0; i < sections; ++i) {
    const unsigned char* section = head + table + i * kSectionHeaderSize;
    uint32_t raw_offset = Read32(section + 20);
    if (raw_offset > highest_offset) {
      highest_offset = raw_offset;
      end = static_cast<uint64_t>(raw_offset) + Read32(section + 16);
    }
  }
  if (end > 0xFFFFFFFFu) return false;
  start = static_cast<uint32_t>(end);
  return true;
}

}  // namespace qx
