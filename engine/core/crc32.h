// The reflected CRC-32 of zip files (polynomial 0xEDB88320), fed in pieces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/text.h"

namespace qx::core {

class Crc32 {
 public:
  Crc32();
  void Update(const void* data, size_t size);
  uint32_t value() const { return ~state_; }

 private:
  uint32_t state_ = 0xFFFFFFFFu;
  uint32_t table_[256];
};

// Upper-case hexadecimal without leading zeros ("0" for zero).
Text HexText(uint32_t value);

}  // namespace qx::core
