#include "engine/win/platform/run_record.h"

#include "common/unique_resource.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

// The record, open for appending while the run lasts.
UniqueFile g_record;

void WriteLine(core::TextView line) {
  std::string bytes = core::Utf16ToUtf8(line);
  bytes.append("\r\n");
  WriteAll(g_record.get(), bytes);
}

}  // namespace

core::Text RecordPath() {
  const core::Text path = Expand(ReferenceOf(contract::kRunRecord));
  return path == ReferenceOf(contract::kRunRecord) ? core::Text() : path;
}

void OpenRunRecord(core::TextView log) {
  const core::Text path = RecordPath();
  if (path.empty()) return;
  g_record.reset(CreateFileW(WideOf(path), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  RecordLine(u"Log " + core::Text(log));
}

void RecordLine(core::TextView line) {
  if (g_record) WriteLine(line);
}

bool Recording() { return g_record.valid(); }

core::Text ErrorText(DWORD error) {
  wchar_t message[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                message, static_cast<DWORD>(std::size(message)), nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L' '))
    --length;
  message[length] = 0;
  core::Text text = u"error " + core::DecimalText(error);
  return length > 0 ? text + u": " + FromWide(message) : text;
}

}  // namespace qx::engine
