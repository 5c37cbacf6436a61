// Helper exports: parameters, text search and replacement, file data,
// program execution and file properties. Null texts count as empty; no C++
// exception escapes.
#include "engine/include/qxcore.h"

#include <cstdint>
#include <vector>

#include "engine/core/crc32.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/export_support.h"
#include "engine/win/platform/file_data.h"
#include "engine/win/platform/file_properties.h"
#include "engine/win/platform/process_parameters.h"
#include "engine/win/platform/program_start.h"
#include "engine/win/platform/wide.h"

namespace {

using qx::core::Text;
using qx::engine::Engine;
using qx::engine::Expand;
using qx::engine::FromWide;
using qx::engine::Guarded;
using qx::engine::kEmptyResult;
using qx::engine::SetResult;
using qx::engine::WideOf;

}  // namespace

extern "C" {

const wchar_t* WINAPI ParamStr(int index) {
  return Guarded(kEmptyResult, [&] {
    const std::vector<Text> parameters = qx::engine::ProcessParameters();
    if (index < 0 || static_cast<size_t>(index) >= parameters.size()) return SetResult(Text());
    return SetResult(parameters[index]);
  });
}

// A start before the first character counts as 1; an empty text to find is
// never found.
const wchar_t* WINAPI QXFindString(const wchar_t* text, const wchar_t* what, int start, int match_case) {
  return Guarded(kEmptyResult, [&] {
    const Text haystack = Expand(FromWide(text));
    const Text needle = Expand(FromWide(what));
    const size_t from = start > 1 ? static_cast<size_t>(start) - 1 : 0;
    size_t at = qx::core::kNotFound;
    if (!needle.empty() && from <= haystack.size())
      at = match_case == 1 ? haystack.find(needle, from) : qx::core::FindNoCase(haystack, needle, from);
    return SetResult(qx::core::DecimalText(at == qx::core::kNotFound ? 0 : static_cast<int64_t>(at) + 1));
  });
}

const wchar_t* WINAPI QXStringReplace(const wchar_t* text, const wchar_t* what, const wchar_t* with) {
  return Guarded(kEmptyResult, [&] {
    Text result = Expand(FromWide(text));
    const Text find = Expand(FromWide(what));
    const Text replacement = Expand(FromWide(with));
    Text scratch;
    qx::core::ReplaceAllNoCase(result, find, replacement, scratch);
    return SetResult(std::move(result));
  });
}

// 1 when the text was written, 0 when the file could not be opened or the
// write did not complete.
int WINAPI QXWriteDataToFile(const wchar_t* path, const wchar_t* text, int line_end) {
  return Guarded(0, [&] {
    const Text file = Expand(FromWide(path));
    return qx::engine::AppendTextToFile(WideOf(file), Expand(FromWide(text)), line_end == 1) ? 1 : 0;
  });
}

// A file that cannot be read sets the variable to the empty text, so an
// older value cannot pass for this file's.
int WINAPI QXGetFileInfo(const wchar_t* name, int kind, const wchar_t* path) {
  return Guarded(0, [&] {
    const Text file = FromWide(path);
    Text value;
    if (kind == 0) {
      uint32_t crc = 0;
      if (qx::engine::FileChecksum(WideOf(file), crc)) value = qx::core::HexText(crc);
    } else if (kind == 1) {
      uint64_t size = 0;
      if (qx::engine::FileSize(WideOf(file), size)) value = qx::core::DecimalText(static_cast<int64_t>(size));
    } else {
      return 0;
    }
    Engine().text.SetVariable(FromWide(name), value);
    return 0;
  });
}

// Only the low byte of |wait| and |hidden| counts. The exit code is written
// as a signed number, as the program returned it.
int WINAPI ExecuteProgram(const wchar_t* program, const wchar_t* parameters, const wchar_t* folder, int wait,
                          int hidden, const wchar_t* exit_code_variable) {
  return Guarded(0, [&] {
    const qx::engine::ProgramRun run =
        qx::engine::StartProgram(Expand(FromWide(program)), Expand(FromWide(parameters)), Expand(FromWide(folder)),
                                 (wait & 0xFF) == 1, (hidden & 0xFF) == 1);
    const Text variable = FromWide(exit_code_variable);
    if (run.started && !variable.empty())
      Engine().text.SetVariable(variable, qx::core::DecimalText(static_cast<int32_t>(run.exit_code)));
    return 0;
  });
}

int WINAPI CheckFileProp(wchar_t* path, int size) {
  return Guarded(1, [&] { return qx::engine::CheckFileProperty(path, size); });
}

}  // extern "C"
