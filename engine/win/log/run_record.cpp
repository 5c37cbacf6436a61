#include "engine/win/log/run_record.h"

#include "engine/win/log/log_state.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/file_io.h"
#include "engine/core/uninstall_start_rules.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

void WriteLine(core::TextView line) {
  std::string bytes = core::Utf16ToUtf8(line);
  bytes.append("\r\n");
  WriteAll(LogFamily().record.get(), bytes);
}

core::Text TwoDigits(int value) { return core::Text(value < 10 ? u"0" : u"") + core::DecimalText(value); }

}  // namespace

void OpenRunRecord(const std::vector<core::Text>& parameters, core::TextView log) {
  const core::Text path = core::RunRecordPath(parameters);
  if (path.empty()) return;
  LogState& state = LogFamily();
  state.record.reset(CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!state.record) return;
  Engine().text.SetVariable(u"RUNLOG", path);
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteLine(u"Uninstallation started " + core::DecimalText(now.wYear) + u"-" + TwoDigits(now.wMonth) + u"-" +
            TwoDigits(now.wDay) + u" " + TwoDigits(now.wHour) + u":" + TwoDigits(now.wMinute) + u":" +
            TwoDigits(now.wSecond));
  WriteLine(u"Log " + core::Text(log));
}

void RecordOutcome(core::TextView what, core::TextView path, core::TextView outcome) {
  if (!LogFamily().record) return;
  WriteLine(core::Text(what) + u" " + core::Text(path) + u": " + core::Text(outcome));
}

core::Text FailureText(DWORD error) {
  wchar_t message[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                message, static_cast<DWORD>(std::size(message)), nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L' '))
    --length;
  message[length] = 0;
  return u"failed with error " + core::DecimalText(error) + u": " + FromWide(message);
}

}  // namespace qx::engine
