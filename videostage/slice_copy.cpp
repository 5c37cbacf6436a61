#include "slice_copy.h"

namespace videostage {

SlicePlan PlanSlices(uint64_t size) {
  const uint64_t slice = size / kPassCount;
  return {slice, slice + size % kPassCount};
}

namespace {

// Moves one pass of |count| bytes in buffer-sized pieces. False when the
// pass ended short; |copied| counts what reached the sink.
bool CopyPass(ByteSource& from, ByteSink& to, uint64_t count, void* buffer, size_t capacity,
              uint64_t& copied) {
  while (count > 0) {
    const size_t want = count < capacity ? static_cast<size_t>(count) : capacity;
    const size_t got = from.Read(buffer, want);
    if (got == 0 || got > want) return false;
    const size_t put = to.Write(buffer, got);
    copied += put < got ? put : got;
    if (put != got) return false;
    count -= got;
  }
  return true;
}

}  // namespace

uint64_t CopySlices(ByteSource& from, ByteSink& to, uint64_t size, void* buffer, size_t capacity) {
  const SlicePlan plan = PlanSlices(size);
  uint64_t copied = 0;
  for (int pass = 0; pass < kPassCount; ++pass) {
    const uint64_t count = pass + 1 < kPassCount ? plan.slice : plan.last;
    if (!CopyPass(from, to, count, buffer, capacity, copied)) break;
  }
  return copied;
}

}  // namespace videostage
