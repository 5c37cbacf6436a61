// A table of values under text keys compared exactly (case included): 512
// buckets serve the lookup, and the entries keep the order in which their keys
// were first added, which is the order callers walk them in.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "text.h"

namespace qx::core {

template <typename Value>
class KeyedTable {
 public:
  static constexpr size_t kBucketCount = 512;

  struct Entry {
    Text key;
    Value value;
    int32_t next_in_bucket;
  };

  KeyedTable() { heads_.fill(-1); }

  // Replaces the value of the entry with exactly |key|, or adds one.
  template <typename V>
  void Set(TextView key, V&& value) {
    const size_t bucket = Bucket(key);
    for (int32_t i = heads_[bucket]; i >= 0; i = entries_[i].next_in_bucket) {
      if (entries_[i].key == key) {
        entries_[i].value = std::forward<V>(value);
        return;
      }
    }
    entries_.push_back(Entry{Text(key), Value(std::forward<V>(value)), heads_[bucket]});
    heads_[bucket] = static_cast<int32_t>(entries_.size() - 1);
  }

  // Null when no entry has exactly |key|.
  const Value* Find(TextView key) const {
    for (int32_t i = heads_[Bucket(key)]; i >= 0; i = entries_[i].next_in_bucket)
      if (entries_[i].key == key) return &entries_[i].value;
    return nullptr;
  }

  size_t size() const { return entries_.size(); }
  const Entry& operator[](size_t i) const { return entries_[i]; }

  void Clear() {
    entries_.clear();
    heads_.fill(-1);
  }

 private:
  static size_t Bucket(TextView key) {
    // FNV-1a over the UTF-16 units.
    uint32_t hash = 2166136261u;
    for (char16_t c : key) hash = (hash ^ c) * 16777619u;
    return hash % kBucketCount;
  }

  std::vector<Entry> entries_;
  std::array<int32_t, kBucketCount> heads_;
};

}  // namespace qx::core
