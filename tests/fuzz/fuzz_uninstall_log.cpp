// The uninstall log: its header, tag lines, payload fields and the entries of
// every replay phase, read in chunks as small as one byte so that lines cross
// chunk ends. The first byte chooses the chunk size.
#include <algorithm>

#include "fuzz_support.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/core/uninstall_start_rules.h"

using namespace qx::core;

namespace {

class InputSource : public ByteSource {
 public:
  explicit InputSource(std::string_view bytes) : bytes_(bytes) {}
  bool Rewind() override {
    at_ = 0;
    return true;
  }
  size_t Read(char* buffer, size_t size) override {
    const size_t n = std::min(size, bytes_.size() - at_);
    std::copy_n(bytes_.data() + at_, n, buffer);
    at_ += n;
    return n;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes = qxfuzz::Bytes(data + 1, size - 1);
  ReadLogHeader(bytes, u"Orvella_Installation");
  InputSource source(bytes);
  BufferedLineReader log(source, 1 + data[0] % 64);
  Text line;
  size_t lines = 0;
  while (log.NextTrimmed(line)) {
    ++lines;
    QX_FUZZ_CHECK(TagKindOfLine(line) >= -1 && TagKindOfLine(line) <= kLogIniKey);
    for (const Text& field : SplitQuotedFields(line))
      QX_FUZZ_CHECK(!field.empty() && field.find(u'"') == kNotFound);
  }
  for (const int kind : {kLogFile, kLogFolder, kLogRegistryKey, kLogRegistryValue, kLogIniKey}) {
    QX_FUZZ_CHECK(log.Rewind());
    EntrySet entries;
    CollectLogEntries(log, kind, entries);
    QX_FUZZ_CHECK(entries.size() <= lines);
    if (kind != kLogFolder || entries.size() > 200) continue;
    std::vector<Text> folders;
    for (size_t i = 0; i < entries.size(); ++i) folders.push_back(entries[i].key);
    SortPathsForRemoval(folders);
    // A folder never comes before one inside it.
    for (size_t i = 0; i < folders.size(); ++i)
      for (size_t j = i + 1; j < folders.size(); ++j)
        QX_FUZZ_CHECK(!StartsWithNoCase(folders[j], folders[i]) || EqualNoCase(folders[j], folders[i]));
  }
  return 0;
}
