// The variable store: values kept under the key "%NAME%", keys compared
// exactly (case included). 512 buckets serve the lookup by key; the store's
// own order, in which expansion applies the entries, is the order in which
// keys were first added.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "text.h"

namespace qx::core {

// "%" + name + "%", the key a variable is stored and referenced under.
Text VariableKey(TextView name);

class VariableStore {
 public:
  static constexpr size_t kBucketCount = 512;

  struct Entry {
    Text key;
    Text value;
    int32_t next_in_bucket;
  };

  VariableStore();

  // Replaces the value of an entry with exactly |key|, or adds one.
  void Set(TextView key, TextView value);
  // Null when no entry has exactly |key|.
  const Text* Find(TextView key) const;

  size_t size() const { return entries_.size(); }
  const Entry& operator[](size_t i) const { return entries_[i]; }

 private:
  static size_t Bucket(TextView key);

  std::vector<Entry> entries_;
  std::array<int32_t, kBucketCount> heads_;
};

}  // namespace qx::core
