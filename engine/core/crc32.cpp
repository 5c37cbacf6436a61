#include "engine/core/crc32.h"

namespace qx::core {

Crc32::Crc32() {
  // Made for each sum rather than stored: as a constant the table would take
  // a kilobyte of the library, and making it costs far less than reading
  // the file it serves.
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table_[i] = c;
  }
}

void Crc32::Update(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t c = state_;
  for (size_t i = 0; i < size; ++i) c = table_[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  state_ = c;
}

Text HexText(uint32_t value) {
  char16_t digits[8];
  size_t first = 8;
  do {
    digits[--first] = u"0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value);
  return Text(digits + first, 8 - first);
}

}  // namespace qx::core
