#include "variables.h"

namespace qx::core {

Text VariableKey(TextView name) {
  Text key;
  key.reserve(name.size() + 2);
  key.push_back(u'%');
  key.append(name);
  key.push_back(u'%');
  return key;
}

VariableStore::VariableStore() { heads_.fill(-1); }

size_t VariableStore::Bucket(TextView key) {
  // FNV-1a over the UTF-16 units.
  uint32_t hash = 2166136261u;
  for (char16_t c : key) hash = (hash ^ c) * 16777619u;
  return hash % kBucketCount;
}

void VariableStore::Set(TextView key, TextView value) {
  size_t bucket = Bucket(key);
  for (int32_t i = heads_[bucket]; i >= 0; i = entries_[i].next_in_bucket) {
    if (entries_[i].key == key) {
      entries_[i].value.assign(value);
      return;
    }
  }
  entries_.push_back(Entry{Text(key), Text(value), heads_[bucket]});
  heads_[bucket] = static_cast<int32_t>(entries_.size() - 1);
}

const Text* VariableStore::Find(TextView key) const {
  for (int32_t i = heads_[Bucket(key)]; i >= 0; i = entries_[i].next_in_bucket)
    if (entries_[i].key == key) return &entries_[i].value;
  return nullptr;
}

}  // namespace qx::core
