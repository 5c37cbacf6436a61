// Splits the bytes of a UTF-8 text file into lines. A line ends at a carriage
// return, a line feed, the pair of both, or a NUL byte; the terminator is not
// part of the line, and a last line without one still counts.
#pragma once

#include <string_view>

#include "engine/core/text.h"

namespace qx::core {

class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : rest_(bytes) {}

  // False once every line has been handed out.
  bool Next(std::string_view& line);
  // The next line as UTF-16, stripped of spaces at both ends; an exhausted
  // reader gives false and an empty |line|.
  bool NextTrimmed(Text& line);

 private:
  std::string_view rest_;
  bool done_ = false;
};

// |bytes| up to and including the last line end (CR, LF or NUL): the whole
// lines of a text that was cut after |bytes|. Empty when there is no line end.
std::string_view WholeLines(std::string_view bytes);

}  // namespace qx::core
