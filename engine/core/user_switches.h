// The uninstaller's command line, read by the same rules in the launcher and
// the engine, in the first stage and in the copy: the copy's "/u" and the
// installed uninstaller's path, then the user's parameters. Reading
// allocates nothing of its own, so the launcher reads its switches into
// fixed buffers.
#pragma once

#include "engine/core/command_line.h"

namespace qx::core {

// The first parameter that makes a run the copy, compared exactly.
constexpr TextView kCopySwitch = u"/u";
constexpr TextView kSilentSwitch = u"/S";
constexpr TextView kRecordSwitch = u"/LOG=";

// A-Z folded, nothing else.
constexpr bool StartsWithAsciiNoCase(TextView text, TextView prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = text[i], b = prefix[i];
    if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
    if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
    if (a != b) return false;
  }
  return true;
}

// "/S" in any letter case.
constexpr bool IsSilentSwitch(TextView parameter) {
  return parameter.size() == kSilentSwitch.size() && StartsWithAsciiNoCase(parameter, kSilentSwitch);
}

// "/LOG=path" in any letter case.
constexpr bool IsRecordSwitch(TextView parameter) { return StartsWithAsciiNoCase(parameter, kRecordSwitch); }

// |Buffer| has clear(), push_back(char16_t) and view() (a TextView of what
// it holds).
template <typename Buffer>
struct UserSwitches {
  // "/u" came first: this run is the copy, started for |installed_uninstaller|.
  bool copy = false;
  Buffer installed_uninstaller;
  // "/S" among the user's parameters, in any position.
  bool silent = false;
  // The path of the first "/LOG=path" among them, as given; empty without one.
  Buffer record_path;
};

template <typename Buffer>
void AssignText(Buffer& buffer, TextView text) {
  buffer.clear();
  for (char16_t c : text) buffer.push_back(c);
}

template <typename Buffer>
void ReadUserSwitches(TextView command_line, UserSwitches<Buffer>& switches) {
  ParameterReader reader(command_line);
  Buffer parameter;
  bool record_seen = false;
  for (size_t index = 0;; ++index) {
    parameter.clear();
    if (!reader.Next([&parameter](char16_t c) { parameter.push_back(c); })) return;
    const TextView text = parameter.view();
    if (index == 0 && text == kCopySwitch) {
      switches.copy = true;
    } else if (index == 1 && switches.copy) {
      AssignText(switches.installed_uninstaller, text);
    } else {
      switches.silent = switches.silent || IsSilentSwitch(text);
      if (!record_seen && IsRecordSwitch(text)) {
        AssignText(switches.record_path, text.substr(kRecordSwitch.size()));
        record_seen = true;
      }
    }
  }
}

// The engine's buffer: a growing text.
struct TextBuffer {
  Text text;
  void clear() { text.clear(); }
  void push_back(char16_t c) { text.push_back(c); }
  TextView view() const { return text; }
};

// The copy's parameter text: "/u", the quoted path of the installed
// uninstaller, a space, and the user's parameters of |command_line| (the
// first stage's), each quoted so that the platform's splitting gives it back
// as it was. The first record switch names |record_path| instead of its own
// path when |record_path| is not empty (the copy runs from another folder,
// where a relative path means something else).
Text RelaunchParameters(TextView program, TextView command_line, TextView record_path);

// Appends |parameter| for the splitting to give back unchanged: as it is
// when it holds no blank and no quote, else between quotes, with the
// backslashes before a quote (or before the closing quote) doubled and each
// quote escaped.
void AppendParameter(Text& line, TextView parameter);

}  // namespace qx::core
