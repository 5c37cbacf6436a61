// Expansion with arbitrary tables. The input's parts (split at NUL bytes): a
// language table, variables as "name=value" lines (set in order, so values
// expand as they are stored), then the text to expand. The result never grows
// past the bound.
#include <algorithm>

#include "fuzz_support.h"
#include "engine/core/lines.h"
#include "engine/core/text_layer.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest = qxfuzz::Bytes(data, size);
  TextLayer layer;
  layer.LoadLanguageTable(qxfuzz::TakePart(rest));
  LineReader variables(qxfuzz::TakePart(rest));
  std::string_view line;
  while (variables.Next(line)) {
    const Text assignment = Utf8ToUtf16(line);
    const size_t equals = assignment.find(u'=');
    if (equals == kNotFound) continue;
    layer.SetVariable(TextView(assignment).substr(0, equals), TextView(assignment).substr(equals + 1));
    QX_FUZZ_CHECK(layer.FindVariable(TextView(assignment).substr(0, equals))->size() <= TextLayer::kExpansionLimit);
  }
  const Text text = Utf8ToUtf16(rest);
  Text out;
  layer.Expand(text, out);
  QX_FUZZ_CHECK(out.size() <= std::max(text.size(), TextLayer::kExpansionLimit));
  return 0;
}
