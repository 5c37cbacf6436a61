// The staged copy moves the source in 100 passes: 99 slices of size / 100
// bytes, then one of the slice plus the remainder. Every pass goes through
// one caller-owned buffer of bounded size, so memory use does not grow with
// the file. Sizes are 64-bit: any file the file system holds is copied whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace videostage {

constexpr int kPassCount = 100;

struct SlicePlan {
  uint64_t slice;  // bytes of each of the first 99 passes
  uint64_t last;   // bytes of the last pass: slice + remainder
};

SlicePlan PlanSlices(uint64_t size);

// The two ends of the copy. Each call returns the count it moved, which may
// be less than asked; 0 from Read means an error or the end of the data.
class ByteSource {
 public:
  virtual size_t Read(void* buffer, size_t count) = 0;

 protected:
  ~ByteSource() = default;
};

class ByteSink {
 public:
  virtual size_t Write(const void* data, size_t count) = 0;

 protected:
  ~ByteSink() = default;
};

// Copies |size| bytes pass by pass through |buffer| (|capacity| bytes, at
// least 1). Only what was read is written. Returns the count written; a count
// below |size| means the copy ended short (a failed or short read or write).
uint64_t CopySlices(ByteSource& from, ByteSink& to, uint64_t size, void* buffer, size_t capacity);

}  // namespace videostage
