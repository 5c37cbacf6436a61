// The dialog description ("qxdlg.dat"): every section the file names is read
// to its end, with the flag letters and the scaling the builder applies.
#include "engine/core/dialog_description.h"
#include "fuzz_support.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const DialogLines lines = SplitDialogLines(qxfuzz::Bytes(data, size));
  for (const Text& line : lines) {
    const size_t close = line.find(u']');
    if (line.empty() || line[0] != u'[' || close == kNotFound) continue;
    DialogSection section;
    const TextView name = TextView(line).substr(1, close - 1);
    QX_FUZZ_CHECK(section.Open(lines, name));
    DialogRecord record;
    size_t records = 0;
    while (section.Next(record)) {
      QX_FUZZ_CHECK(++records <= lines.size());
      ExclusiveFlag(record.kind, record.flags);
      HasFlag(section.flags(), u'N');
      for (const int32_t dots : {96, 120, 480}) {
        const double factor = ScaleFactor(dots, 1.0);
        ScaleLength(record.x, factor);
        ScaleLength(record.width, factor);
        PointSize(record.number, dots);
      }
    }
  }
  return 0;
}
