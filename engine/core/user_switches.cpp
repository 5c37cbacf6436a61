#include "engine/core/user_switches.h"

namespace qx::core {

namespace {

constexpr TextView kSilentSwitch = u"/S";
constexpr TextView kRecordSwitch = u"/LOG=";

bool IsRecordSwitch(TextView parameter) { return StartsWithNoCase(parameter, kRecordSwitch); }

}  // namespace

UserSwitches ReadUserSwitches(const std::vector<Text>& parameters) {
  UserSwitches switches;
  size_t first_user = 0;
  if (!parameters.empty() && parameters[0] == kCopySwitch) {
    switches.copy = true;
    if (parameters.size() > 1) switches.installed_uninstaller = parameters[1];
    first_user = 2;
  }
  bool record_seen = false;
  for (size_t i = first_user; i < parameters.size(); ++i) {
    const Text& parameter = parameters[i];
    switches.user.push_back(parameter);
    if (EqualNoCase(parameter, kSilentSwitch)) switches.silent = true;
    if (!record_seen && IsRecordSwitch(parameter)) {
      switches.record_path = parameter.substr(kRecordSwitch.size());
      record_seen = true;
    }
  }
  return switches;
}

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

Text RelaunchParameters(TextView program, const UserSwitches& switches, TextView record_path) {
  // A program path holds no quote and ends in no backslash.
  Text text(kCopySwitch);
  text.append(u" \"");
  text.append(program);
  text.append(u"\" ");
  bool record_seen = false;
  for (size_t i = 0; i < switches.user.size(); ++i) {
    if (i > 0) text.push_back(u' ');
    const Text& parameter = switches.user[i];
    if (!record_seen && IsRecordSwitch(parameter) && !record_path.empty()) {
      AppendParameter(text, Text(kRecordSwitch) + Text(record_path));
      record_seen = true;
    } else {
      record_seen = record_seen || IsRecordSwitch(parameter);
      AppendParameter(text, parameter);
    }
  }
  return text;
}

}  // namespace qx::core
