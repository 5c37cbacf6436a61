// Text exports: variables, expansion into the engine's text area or the
// caller's buffer, expansion of whole files, and the shell's folders. Each one
// copies its text arguments, treats a null text as the empty text and lets no
// C++ exception escape.
#include "engine/include/qxcore.h"

#include <windows.h>

#include <string>

#include "engine/win/platform/shell_folders.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/export_support.h"
#include "engine/win/platform/file_io.h"
#include "engine/core/lines.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

// Stands in for the line's own backslashes while the line is expanded.
constexpr core::TextView kBackslashMarker = u"|GQX#|";

// Expands every line of the UTF-8 file |source| into |destination| (both
// paths expanded first), each line followed by CR LF. With |escape| the
// file's own backslashes survive as they are and every backslash that the
// expansion inserted is doubled. The destination is created when missing and
// cut to what was written. Nothing is written when the source cannot be read
// or the destination cannot be opened.
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

}  // namespace

}  // namespace qx::engine

namespace {

using qx::engine::Engine;
using qx::engine::FromWide;
using qx::engine::Guarded;
using qx::engine::kEmptyResult;
using qx::engine::SetResult;

}  // namespace

extern "C" {

int WINAPI SetVar(const wchar_t* name, const wchar_t* value) {
  return Guarded(0, [&] {
    Engine().text.SetVariable(FromWide(name), FromWide(value));
    return 0;
  });
}

const wchar_t* WINAPI EvalVar(const wchar_t* text) {
  return Guarded(kEmptyResult, [&] {
    // Copied first: |text| may be an earlier result of this same area.
    const qx::core::Text input = FromWide(text);
    qx::core::Text expanded;
    Engine().text.Expand(input, expanded);
    return SetResult(std::move(expanded));
  });
}

// Writes at most size / 2 - 1 characters and the terminator; a buffer of
// fewer than 2 bytes, or none, receives nothing.
int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int size) {
  return Guarded(0, [&] {
    if (!buffer || size < 2) return 0;
    const qx::core::Text expanded = qx::engine::Expand(FromWide(text));
    const size_t room = static_cast<size_t>(size / 2 - 1);
    const size_t count = expanded.size() < room ? expanded.size() : room;
    for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<wchar_t>(expanded[i]);
    buffer[count] = 0;
    return static_cast<int>(count * 2);
  });
}

int WINAPI ReplaceVarInFile(const wchar_t* source, const wchar_t* destination, int escape) {
  return Guarded(0, [&] {
    qx::engine::ReplaceVariablesInFile(FromWide(source), FromWide(destination), escape == 1);
    return 0;
  });
}

const wchar_t* WINAPI GetSpecialDirectory(int csidl) {
  return Guarded(kEmptyResult, [&] { return SetResult(qx::engine::SpecialFolderPath(csidl)); });
}

}  // extern "C"
