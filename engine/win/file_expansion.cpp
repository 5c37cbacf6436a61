#include "file_expansion.h"

#include <windows.h>

#include <string>

#include "engine_state.h"
#include "file_io.h"
#include "lines.h"
#include "unique_resource.h"
#include "wide.h"

namespace qx::engine {

namespace {
// Stands in for the line's own backslashes while the line is expanded.
constexpr core::TextView kBackslashMarker = u"|GQX#|";
}  // namespace

void ReplaceVariablesInFile(core::TextView source, core::TextView destination, bool escape) {
  EngineState& engine = Engine();
  // The source is read whole first, so a destination that names the same
  // file is rewritten from a complete copy.
  std::string input;
  if (!ReadWholeFile(ToWide(Expand(source)).c_str(), input)) return;

  const std::wstring target = ToWide(Expand(destination));
  UniqueFile out(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return;

  std::string output;
  output.reserve(input.size() + input.size() / 4);
  core::LineReader reader(input);
  std::string_view line;
  core::Text text, expanded, scratch;
  while (reader.Next(line)) {
    text = core::Utf8ToUtf16(line);
    if (escape) core::ReplaceAllExact(text, u"\\", kBackslashMarker, scratch);
    engine.text.Expand(text, expanded);
    if (escape) {
      core::ReplaceAllExact(expanded, u"\\", u"\\\\", scratch);
      core::ReplaceAllExact(expanded, kBackslashMarker, u"\\", scratch);
    }
    core::AppendUtf8(output, expanded);
    output += "\r\n";
  }
  // An older, longer destination must not keep its tail after the new text.
  if (WriteAll(out.get(), output)) SetEndOfFile(out.get());
}

}  // namespace qx::engine
