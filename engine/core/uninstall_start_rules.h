// The rules by which an uninstaller finds and checks its log, free of any
// platform call: where the log lies, how the copy is restarted, and what the
// log's header must hold.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/text.h"

namespace qx::core {

// The log beside an uninstaller: the file name's extension (the text after
// its last ".") becomes "log", so "uninst.exe" has "uninst.log". A file name
// without a "." gets ".log" appended, so the program is never its own log.
Text LogPathFor(TextView program);

// The same into |log| (clear() and push_back(char16_t)), without allocating.
template <typename Buffer>
void LogPathInto(TextView program, Buffer& log) {
  const size_t name = program.find_last_of(u"\\/");
  const size_t start = name == TextView::npos ? 0 : name + 1;
  const size_t dot = program.rfind(u'.');
  const bool has_extension = dot != TextView::npos && dot >= start;
  log.clear();
  for (char16_t c : has_extension ? program.substr(0, dot + 1) : program) log.push_back(c);
  if (!has_extension) log.push_back(u'.');
  for (char16_t c : TextView(u"log")) log.push_back(c);
}

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
