#include "engine/core/keyed_table.h"

namespace qx::core {

namespace {

// FNV-1a over the UTF-16 units.
uint32_t Hash(TextView key) {
  uint32_t hash = 2166136261u;
  for (char16_t c : key) hash = (hash ^ c) * 16777619u;
  return hash;
}

}  // namespace

int32_t KeyIndex::IndexIn(const std::vector<Slot>& bucket, uint32_t hash, TextView key) const {
  for (const Slot& slot : bucket)
    if (slot.hash == hash && keys_[slot.index] == key) return slot.index;
  return -1;
}

int32_t KeyIndex::IndexOf(TextView key) const {
  const uint32_t hash = Hash(key);
  return IndexIn(buckets_[hash % kBucketCount], hash, key);
}

size_t KeyIndex::Add(TextView key) {
  const uint32_t hash = Hash(key);
  std::vector<Slot>& bucket = buckets_[hash % kBucketCount];
  if (bucket.size() == bucket.capacity()) bucket.reserve(2 * bucket.size() + 4);
  keys_.emplace_back(key);
  bucket.push_back(Slot{hash, static_cast<int32_t>(keys_.size() - 1)});
  return keys_.size() - 1;
}

void KeyIndex::Clear() {
  keys_.clear();
  for (std::vector<Slot>& bucket : buckets_) bucket.clear();
}

}  // namespace qx::core
