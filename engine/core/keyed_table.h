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

// The keys and their lookup, the same for every kind of value: compiled
// once, not once for each table's value type.
class KeyIndex {
 public:
  static constexpr size_t kBucketCount = 512;

  // The place of |key|, or -1.
  int32_t IndexOf(TextView key) const;
  // Adds |key|, which the index does not hold, last; a failed allocation
  // leaves the index as it was.
  size_t Add(TextView key);
  const Text& key_at(size_t i) const { return keys_[i]; }
  size_t size() const { return keys_.size(); }
  void Clear();

 private:
  // A bucket holds each entry's full hash beside its index, so a lookup
  // compares keys only where the hashes agree: a bucket stays cheap to walk
  // even with hundreds of entries (100,000 keys give about 200 a bucket).
  struct Slot {
    uint32_t hash;
    int32_t index;
  };

  int32_t IndexIn(const std::vector<Slot>& bucket, uint32_t hash, TextView key) const;

  std::vector<Text> keys_;
  std::array<std::vector<Slot>, kBucketCount> buckets_;
};

template <typename Value>
class KeyedTable {
 public:
  // One entry as the table hands it out.
  struct Entry {
    const Text& key;
    const Value& value;
  };

  // Replaces the value of the entry with exactly |key|, or adds one; gives
  // the entry's place in the order.
  template <typename V>
  size_t Set(TextView key, V&& value) {
    if (const int32_t i = index_.IndexOf(key); i >= 0) {
      values_[i] = std::forward<V>(value);
      return static_cast<size_t>(i);
    }
    // A failed allocation ends the call midway (the engine has no
    // exceptions), which may leave a value without its key behind.
    if (values_.size() > index_.size()) values_.pop_back();
    values_.push_back(Value(std::forward<V>(value)));
    return index_.Add(key);
  }

  // The place of the entry with exactly |key|, or -1.
  int32_t IndexOf(TextView key) const { return index_.IndexOf(key); }

  Value& value_at(size_t i) { return values_[i]; }

  // Null when no entry has exactly |key|.
  const Value* Find(TextView key) const {
    const int32_t i = index_.IndexOf(key);
    return i >= 0 ? &values_[i] : nullptr;
  }

  size_t size() const { return index_.size(); }
  Entry operator[](size_t i) const { return Entry{index_.key_at(i), values_[i]}; }

  void Clear() {
    index_.Clear();
    values_.clear();
  }

 private:
  KeyIndex index_;
  std::vector<Value> values_;
};

}  // namespace qx::core
