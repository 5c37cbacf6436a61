// Number reading over every UTF-16 code unit (the input taken two bytes at a
// time): a value read, written in decimal and read again stays the same. The
// same bytes as UTF-8 survive a round trip through UTF-16.
#include "fuzz_support.h"
#include "engine/core/text.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
  const int32_t value = ReadNumber(units);
  QX_FUZZ_CHECK(ReadNumber(DecimalText(value)) == value);
  const Text text = Utf8ToUtf16(qxfuzz::Bytes(data, size));
  QX_FUZZ_CHECK(Utf8ToUtf16(Utf16ToUtf8(text)) == text);
  return 0;
}
