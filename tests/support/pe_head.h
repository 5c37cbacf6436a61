// The first 4,096 bytes of a PE image, for the tests of where the launcher's
// image ends: "MZ", the image header at |pe|, and a section table after an
// optional header of |optional_header_size| bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace qxtest {

struct Section {
  uint32_t raw_offset;
  uint32_t raw_size;
};

inline void PutLittleEndian(std::string& s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// |count| overrides the number of sections the file header gives.
inline std::string ImageHead(uint32_t pe, std::initializer_list<Section> sections, size_t optional_header_size,
                             uint32_t count = 0) {
  std::string head(4096, '\0');
  head[0] = 'M';
  head[1] = 'Z';
  PutLittleEndian(head, 60, pe, 4);
  if (pe + 8 <= head.size()) {
    std::memcpy(&head[pe], "PE\0\0", 4);
    PutLittleEndian(head, pe + 6, count ? count : static_cast<uint32_t>(sections.size()), 2);
  }
  size_t at = pe + 4 + 20 + optional_header_size;
  for (const Section& s : sections) {
    if (at + 40 > head.size()) break;  // the table runs past the block
    PutLittleEndian(head, at + 16, s.raw_size, 4);
    PutLittleEndian(head, at + 20, s.raw_offset, 4);
    at += 40;
  }
  return head;
}

}  // namespace qxtest
