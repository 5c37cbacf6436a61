#include "engine/core/lines.h"

namespace qx::core {

bool LineReader::Next(std::string_view& line) {
  if (done_ || rest_.empty()) {
    done_ = true;
    line = {};
    return false;
  }
  size_t end = 0;
  while (end < rest_.size() && rest_[end] != '\r' && rest_[end] != '\n' && rest_[end] != '\0') ++end;
  line = rest_.substr(0, end);
  size_t skip = end;
  if (skip < rest_.size()) {
    ++skip;
    if (rest_[end] == '\r' && skip < rest_.size() && rest_[skip] == '\n') ++skip;
  }
  rest_.remove_prefix(skip);
  return true;
}

bool LineReader::NextTrimmed(Text& line) {
  std::string_view bytes;
  bool got = Next(bytes);
  line = Utf8ToUtf16(TrimSpaces(bytes));
  return got;
}

std::string_view WholeLines(std::string_view bytes) {
  const size_t last = bytes.find_last_of(std::string_view("\r\n\0", 3));
  return last == std::string_view::npos ? std::string_view() : bytes.substr(0, last + 1);
}

}  // namespace qx::core
