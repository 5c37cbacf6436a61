#include "staged_path.h"

#include <cstring>

namespace videostage {

bool MatchesRule(const StagingRule& rule, const char* source) {
  return std::strstr(source, rule.upper) != nullptr || std::strstr(source, rule.lower) != nullptr;
}

bool FormatStagedPath(const char* directory, const char* name, StagedPath& out) {
  out.clear();
  if (out.append(directory) && out.append('\\') && out.append(name) && out.append(' ')) return true;
  out.clear();
  return false;
}

}  // namespace videostage
