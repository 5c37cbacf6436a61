// The rules by which an uninstaller finds and checks its log, free of any
// platform call: where the log lies, how the copy is restarted, and what the
// log's header must hold.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/text.h"

namespace qx::core {

// The first parameter that makes a run the second stage, compared exactly.
constexpr TextView kSecondStageSwitch = u"/u";

// The log beside an uninstaller: the file name's extension (the text after
// its last ".") becomes "log", so "uninst.exe" has "uninst.log". A file name
// without a "." gets ".log" appended, so the program is never its own log.
Text LogPathFor(TextView program);

// The parameter text of the restarted copy: "/u", the quoted path of the
// installed uninstaller, a space, and this run's parameters (each quoted when
// it holds a space or a tab, so the copy receives it whole).
Text RelaunchParameters(TextView program, const std::vector<Text>& parameters);

// The path of the copy's "/LOG=path" parameter (any letter case), one of
// the user's, which follow "/u" and the installed uninstaller's path; empty
// without one.
Text RunRecordPath(const std::vector<Text>& parameters);

// A log's title line matches when it equals the start of the package title
// without regard to case; an empty line matches every title.
bool TitleLineMatches(TextView line, TextView title);

// The language of a log: the number on its line, 1033 for 0 or no number.
int32_t LanguageFromLine(TextView line);

enum class LogHeaderStatus {
  kValid,
  kNoHeader,       // no line begins with "[QXUninst]"
  kTitleMismatch,  // the title line is missing or does not match
};

struct LogHeader {
  LogHeaderStatus status = LogHeaderStatus::kNoHeader;
  int32_t language = 0;
  Text install_folder;
};

// Reads a log's lines (UTF-8, each trimmed of spaces) up to the first that
// begins with "[QXUninst]" without regard to case; the next line (the format
// number) is ignored, then come the title, the language and the installation
// folder.
LogHeader ReadLogHeader(std::string_view log_bytes, TextView title);

}  // namespace qx::core
