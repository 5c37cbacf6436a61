#include "file_property_table.h"

#include "lines.h"

namespace qx::core {

FilePropertyTable::FilePropertyTable() { heads_.fill(-1); }

size_t FilePropertyTable::Bucket(TextView key) {
  // FNV-1a over the UTF-16 units.
  uint32_t hash = 2166136261u;
  for (char16_t c : key) hash = (hash ^ c) * 16777619u;
  return hash % kBucketCount;
}

void FilePropertyTable::Set(TextView key, FileProperty property) {
  const size_t bucket = Bucket(key);
  for (int32_t i = heads_[bucket]; i >= 0; i = entries_[i].next_in_bucket) {
    if (entries_[i].key == key) {
      entries_[i].property = std::move(property);
      return;
    }
  }
  entries_.push_back(Entry{Text(key), std::move(property), heads_[bucket]});
  heads_[bucket] = static_cast<int32_t>(entries_.size() - 1);
}

const FileProperty* FilePropertyTable::Find(TextView key) const {
  for (int32_t i = heads_[Bucket(key)]; i >= 0; i = entries_[i].next_in_bucket)
    if (entries_[i].key == key) return &entries_[i].property;
  return nullptr;
}

void FilePropertyTable::Clear() {
  entries_.clear();
  heads_.fill(-1);
}

void ParseFileProperties(std::string_view bytes, FilePropertyTable& table) {
  LineReader reader(bytes);
  Text key, flag;
  while (reader.NextTrimmed(key)) {
    // A blank line would otherwise become a key and shift every later record.
    if (key.empty() || key[0] == u';') continue;
    FileProperty property;
    reader.NextTrimmed(property.redirection);
    reader.NextTrimmed(property.condition1);
    reader.NextTrimmed(property.condition2);
    reader.NextTrimmed(flag);
    property.not_logged = flag == u"1";
    table.Set(key, std::move(property));
  }
}

Text RelativeToInstallFolder(TextView path, TextView install_folder) {
  Text relative(path);
  if (install_folder.empty()) return relative;
  Text folder(install_folder);
  if (folder.back() != u'\\') folder.push_back(u'\\');
  Text scratch;
  ReplaceAllNoCase(relative, folder, u"", scratch);
  return relative;
}

TextView FileNamePart(TextView path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == TextView::npos ? path : path.substr(slash + 1);
}

}  // namespace qx::core
