// The engine's export table: stdcall functions under their plain names (see
// QXCore.def). Each one copies its text arguments, treats a null text as the
// empty text, calls into the engine and lets no C++ exception escape.
#include <windows.h>

#include "builtins.h"
#include "engine_state.h"
#include "export_support.h"
#include "file_expansion.h"
#include "startup.h"
#include "wide.h"

namespace {

using qx::engine::Engine;
using qx::engine::FromWide;
using qx::engine::Guarded;
using qx::engine::kEmptyResult;

const wchar_t* ResultText() { return reinterpret_cast<const wchar_t*>(Engine().result.c_str()); }

}  // namespace

extern "C" {

int WINAPI InitSFX(HMODULE module) {
  return Guarded(0, [&] {
    qx::engine::InitSfx(module);
    return 0;
  });
}

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
    Engine().text.Expand(input, Engine().result);
    return ResultText();
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
  return Guarded(kEmptyResult, [&] {
    Engine().result = qx::engine::SpecialFolderPath(csidl);
    return ResultText();
  });
}

}  // extern "C"
