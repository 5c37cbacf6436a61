// Text exports: variables, expansion into the engine's text area or the
// caller's buffer, expansion of whole files, and the shell's folders. Each one
// copies its text arguments, treats a null text as the empty text and lets no
// C++ exception escape.
#include "qxcore.h"

#include "builtins.h"
#include "engine_state.h"
#include "export_support.h"
#include "file_expansion.h"
#include "wide.h"

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
