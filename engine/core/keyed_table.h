// A table of values under text keys compared exactly (case included): 512
// buckets serve the lookup, and the entries keep the order in which their keys
// were first added, which is the order callers walk them in.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/core/text.h"

namespace qx::core {

template <typename Value>
class KeyedTable {
 public:
  static constexpr size_t kBucketCount = 512;

  struct Entry {
    Text key;
    Value value;
  };

  // Replaces the value of the entry with exactly |key|, or adds one; gives
  // the entry's place in the order.
  template <typename V>
  size_t Set(TextView key, V&& value) {
    const uint32_t hash = Hash(key);
    std::vector<Slot>& bucket = buckets_[hash % kBucketCount];
    if (const int32_t i = IndexIn(bucket, hash, key); i >= 0) {
      entries_[i].value = std::forward<V>(value);
      return static_cast<size_t>(i);
    }
    entries_.push_back(Entry{Text(key), Value(std::forward<V>(value))});
    bucket.push_back(Slot{hash, static_cast<int32_t>(entries_.size() - 1)});
    return entries_.size() - 1;
  }

  // The place of the entry with exactly |key|, or -1.
  int32_t IndexOf(TextView key) const {
    const uint32_t hash = Hash(key);
    return IndexIn(buckets_[hash % kBucketCount], hash, key);
  }

  Value& value_at(size_t i) { return entries_[i].value; }

  // Null when no entry has exactly |key|.
  const Value* Find(TextView key) const {
    const uint32_t hash = Hash(key);
    const int32_t i = IndexIn(buckets_[hash % kBucketCount], hash, key);
    return i >= 0 ? &entries_[i].value : nullptr;
  }

  size_t size() const { return entries_.size(); }
  const Entry& operator[](size_t i) const { return entries_[i]; }

  void Clear() {
    entries_.clear();
    for (std::vector<Slot>& bucket : buckets_) bucket.clear();
  }

 private:
  // A bucket holds each entry's full hash beside its index, so a lookup
  // compares keys only where the hashes agree: a bucket stays cheap to walk
  // even with hundreds of entries (100,000 keys give about 200 a bucket).
  struct Slot {
    uint32_t hash;
    int32_t index;
  };

  static uint32_t Hash(TextView key) {
    // FNV-1a over the UTF-16 units.
    uint32_t hash = 2166136261u;
    for (char16_t c : key) hash = (hash ^ c) * 16777619u;
    return hash;
  }

  int32_t IndexIn(const std::vector<Slot>& bucket, uint32_t hash, TextView key) const {
    for (const Slot& slot : bucket)
      if (slot.hash == hash && entries_[slot.index].key == key) return slot.index;
    return -1;
  }

  std::vector<Entry> entries_;
  std::array<std::vector<Slot>, kBucketCount> buckets_;
};

}  // namespace qx::core
