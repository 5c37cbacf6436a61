#include "engine/core/user_switches.h"

namespace qx::core {

void AppendParameter(Text& line, TextView parameter) {
  if (!parameter.empty() && parameter.find_first_of(u" \t\"") == TextView::npos) {
    line.append(parameter);
    return;
  }
  line.push_back(u'"');
  size_t backslashes = 0;
  for (char16_t c : parameter) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    line.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(2 * backslashes, u'\\');
  line.push_back(u'"');
}

Text RelaunchParameters(TextView program, TextView command_line, TextView record_path) {
  // A program path holds no quote and ends in no backslash.
  Text text(kCopySwitch);
  text.append(u" \"");
  text.append(program);
  text.append(u"\" ");
  ParameterReader reader(command_line);
  TextBuffer parameter;
  bool record_seen = false;
  for (bool first = true; reader.Next([&parameter](char16_t c) { parameter.push_back(c); }); first = false) {
    if (!first) text.push_back(u' ');
    if (!record_seen && IsRecordSwitch(parameter.view()) && !record_path.empty()) {
      AppendParameter(text, Text(kRecordSwitch) + Text(record_path));
    } else {
      AppendParameter(text, parameter.view());
    }
    record_seen = record_seen || IsRecordSwitch(parameter.view());
    parameter.clear();
  }
  return text;
}

}  // namespace qx::core
