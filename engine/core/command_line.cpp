#include "engine/core/command_line.h"

namespace qx::core {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<Text> SplitCommandLine(TextView line) {
  std::vector<Text> parameters;
  size_t i = 0;
  // The program name ends at the closing quote when it starts with one, else
  // at the first blank; backslashes have no special meaning in it.
  if (i < line.size() && line[i] == u'"') {
    ++i;
    while (i < line.size() && line[i] != u'"') ++i;
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !IsBlank(line[i])) ++i;
  }

  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    Text parameter;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == u'\\') {
        size_t backslashes = 0;
        while (i < line.size() && line[i] == u'\\') ++backslashes, ++i;
        if (i < line.size() && line[i] == u'"') {
          parameter.append(backslashes / 2, u'\\');
          if (backslashes % 2) {
            parameter.push_back(u'"');
            ++i;
          }
        } else {
          parameter.append(backslashes, u'\\');
        }
      } else if (line[i] == u'"') {
        // Inside quotes a doubled quote stands for one literal quote.
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          parameter.push_back(u'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        parameter.push_back(line[i++]);
      }
    }
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

Text JoinParameters(const std::vector<Text>& parameters) {
  Text joined;
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (i) joined.push_back(u' ');
    const bool quote = parameters[i].find(u' ') != Text::npos;
    if (quote) joined.push_back(u'"');
    joined.append(parameters[i]);
    if (quote) joined.push_back(u'"');
  }
  return joined;
}

}  // namespace qx::core
