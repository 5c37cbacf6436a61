#include "engine/core/uninstall_start_rules.h"

#include "engine/core/lines.h"

namespace qx::core {

namespace {

constexpr TextView kHeader = u"[QXUninst]";

bool NeedsQuotes(TextView text) { return text.find_first_of(u" \t") != TextView::npos; }

}  // namespace

Text LogPathFor(TextView program) {
  const size_t name = program.find_last_of(u"\\/");
  const size_t start = name == TextView::npos ? 0 : name + 1;
  const size_t dot = program.rfind(u'.');
  Text log;
  if (dot == TextView::npos || dot < start) {
    log.assign(program);
    log.push_back(u'.');
  } else {
    log.assign(program.substr(0, dot + 1));
  }
  log.append(u"log");
  return log;
}

Text RelaunchParameters(TextView program, const std::vector<Text>& parameters) {
  Text text(kSecondStageSwitch);
  text.append(u" \"");
  text.append(program);
  text.append(u"\" ");
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (i > 0) text.push_back(u' ');
    const Text& parameter = parameters[i];
    if (!NeedsQuotes(parameter)) {
      text.append(parameter);
      continue;
    }
    text.push_back(u'"');
    text.append(parameter);
    // Backslashes before the closing quote are doubled, or they would escape it.
    for (size_t j = parameter.size(); j > 0 && parameter[j - 1] == u'\\'; --j) text.push_back(u'\\');
    text.push_back(u'"');
  }
  return text;
}

Text RunRecordPath(const std::vector<Text>& parameters) {
  constexpr TextView kSwitch = u"/LOG=";
  for (size_t i = 2; i < parameters.size(); ++i)
    if (StartsWithNoCase(parameters[i], kSwitch)) return parameters[i].substr(kSwitch.size());
  return Text();
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
