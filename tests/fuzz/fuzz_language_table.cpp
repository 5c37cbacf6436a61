// The language table ("qxlng.dat"): every entry is a "#" key without "=" and
// a text without "=", whatever the file holds.
#include "fuzz_support.h"
#include "engine/core/language_table.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<LanguageEntry> entries;
  ParseLanguageTable(qxfuzz::Bytes(data, size), entries);
  for (const LanguageEntry& entry : entries) {
    QX_FUZZ_CHECK(!entry.key.empty() && entry.key[0] == u'#');
    QX_FUZZ_CHECK(entry.key.find(u'=') == kNotFound && entry.text.find(u'=') == kNotFound);
  }
  return 0;
}
