#include "engine/core/command_line.h"

namespace qx::core {

std::vector<Text> SplitCommandLine(TextView line) {
  std::vector<Text> parameters;
  ParameterReader reader(line);
  Text parameter;
  while (reader.Next([&parameter](char16_t c) { parameter.push_back(c); })) {
    parameters.push_back(std::move(parameter));
    parameter.clear();
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
