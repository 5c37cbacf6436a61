// The command line split into parameters, and the parameters joined again for
// PARAMS: what the join quotes, a second split gives back whole.
#include "engine/core/command_line.h"
#include "fuzz_support.h"

using namespace qx::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<Text> parameters = SplitCommandLine(Utf8ToUtf16(qxfuzz::Bytes(data, size)));
  const Text joined = JoinParameters(parameters);
  bool plain = true;
  for (const Text& parameter : parameters)
    plain &= !parameter.empty() && parameter.find_first_of(u"\"\\\t") == kNotFound;
  if (plain) QX_FUZZ_CHECK(SplitCommandLine(u"program " + joined) == parameters);
  return 0;
}
