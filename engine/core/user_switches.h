// The uninstaller's command line, read the same way by the launcher and the
// engine, in the first stage and in the copy: the copy's "/u" and the
// installed uninstaller's path, then the user's parameters.
#pragma once

#include <vector>

#include "engine/core/text.h"

namespace qx::core {

// The first parameter that makes a run the copy, compared exactly.
constexpr TextView kCopySwitch = u"/u";

struct UserSwitches {
  // "/u" came first: this run is the copy, started for |installed_uninstaller|.
  bool copy = false;
  Text installed_uninstaller;
  // The user's own parameters, as given.
  std::vector<Text> user;
  // "/S" (any letter case) among them, in any position.
  bool silent = false;
  // The path of the first "/LOG=path" among them (any letter case), as
  // given; empty without one.
  Text record_path;
};

UserSwitches ReadUserSwitches(const std::vector<Text>& parameters);

// The copy's parameter text: "/u", the quoted path of the installed
// uninstaller, a space, and the user's parameters, each quoted so that the
// platform's splitting gives it back as it was. The record switch names
// |record_path| instead of its own path when |record_path| is not empty (the
// copy runs from another folder, where a relative path means something else).
Text RelaunchParameters(TextView program, const UserSwitches& switches, TextView record_path);

// Appends |parameter| for SplitCommandLine to give back unchanged: as it is
// when it holds no blank and no quote, else between quotes, with the
// backslashes before a quote (or before the closing quote) doubled and each
// quote escaped.
void AppendParameter(Text& line, TextView parameter);

}  // namespace qx::core
