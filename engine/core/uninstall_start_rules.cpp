#include "engine/core/uninstall_start_rules.h"

#include "engine/core/lines.h"
#include "engine/core/user_switches.h"

namespace qx::core {

namespace {

constexpr TextView kHeader = u"[QXUninst]";

}  // namespace

Text LogPathFor(TextView program) {
  TextBuffer log;
  LogPathInto(program, log);
  return std::move(log.text);
}

bool TitleLineMatches(TextView line, TextView title) { return StartsWithNoCase(title, line); }

int32_t LanguageFromLine(TextView line) {
  const int32_t id = ReadNumber(line);
  return id == 0 ? 1033 : id;
}

LogHeader ReadLogHeader(std::string_view log_bytes, TextView title) {
  LogHeader header;
  LineReader reader(log_bytes);
  Text line;
  bool found = false;
  while (!found && reader.NextTrimmed(line)) found = StartsWithNoCase(line, kHeader);
  if (!found) return header;

  reader.NextTrimmed(line);  // the format number
  if (!reader.NextTrimmed(line) || !TitleLineMatches(line, title)) {
    header.status = LogHeaderStatus::kTitleMismatch;
    return header;
  }
  reader.NextTrimmed(line);
  header.language = LanguageFromLine(line);
  reader.NextTrimmed(header.install_folder);
  header.status = LogHeaderStatus::kValid;
  return header;
}

}  // namespace qx::core
