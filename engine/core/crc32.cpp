#include "engine/core/crc32.h"

#include <array>

namespace qx::core {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

void Crc32::Update(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t c = state_;
  for (size_t i = 0; i < size; ++i) c = kTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  state_ = c;
}

Text HexText(uint32_t value) {
  Text digits;
  do {
    digits.insert(digits.begin(), u"0123456789ABCDEF"[value & 0xF]);
    value >>= 4;
  } while (value);
  return digits;
}

}  // namespace qx::core
