// The file-properties table ("qxfprop.dat"), and the decision for each file
// it names, with the conditions and folders expanding to themselves.
#include "engine/core/file_property_table.h"
#include "fuzz_support.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FilePropertyTable table;
  ParseFileProperties(qxfuzz::Bytes(data, size), table);
  const TextView folder = u"C:\\App";
  for (size_t i = 0; i < table.size(); ++i) {
    const Text path = Text(folder) + u"\\" + table[i].key;
    Text redirected;
    const FileDecision decision = DecideFile(table, path, folder, [](const Text& text) { return text; }, redirected);
    if (decision == FileDecision::kRedirect) {
      const TextView name = FileNamePart(path);
      QX_FUZZ_CHECK(TextView(redirected).substr(redirected.size() - name.size()) == name);
    }
  }
  return 0;
}
