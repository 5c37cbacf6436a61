// Splits a process command line into its parameters by the platform's rules
// (those of CommandLineToArgvW and the C runtime): spaces and tabs separate,
// double quotes group and are removed, backslashes are literal unless they
// come before a double quote.
#pragma once

#include <vector>

#include "engine/core/text.h"

namespace qx::core {

// The parameters after the program name, one at a time and without
// allocating: the launcher reads its switches with it before any heap text.
class ParameterReader {
 public:
  explicit ParameterReader(TextView line) : line_(line) {
    // The program name ends at the closing quote when it starts with one,
    // else at the first blank; backslashes have no special meaning in it.
    if (at_ < line_.size() && line_[at_] == u'"') {
      ++at_;
      while (at_ < line_.size() && line_[at_] != u'"') ++at_;
      if (at_ < line_.size()) ++at_;
    } else {
      while (at_ < line_.size() && !IsBlank(line_[at_])) ++at_;
    }
  }

  // Hands each unit of the next parameter to |sink|; false when there is
  // none left.
  template <typename Sink>
  bool Next(Sink&& sink) {
    while (at_ < line_.size() && IsBlank(line_[at_])) ++at_;
    if (at_ >= line_.size()) return false;
    bool quoted = false;
    while (at_ < line_.size() && (quoted || !IsBlank(line_[at_]))) {
      const char16_t c = line_[at_];
      if (c == u'\\') {
        size_t backslashes = 0;
        while (at_ < line_.size() && line_[at_] == u'\\') ++backslashes, ++at_;
        const bool before_quote = at_ < line_.size() && line_[at_] == u'"';
        for (size_t i = before_quote ? backslashes / 2 : backslashes; i > 0; --i) sink(u'\\');
        if (before_quote && backslashes % 2) {
          sink(u'"');
          ++at_;
        }
      } else if (c == u'"') {
        // Inside quotes a doubled quote stands for one literal quote.
        if (quoted && at_ + 1 < line_.size() && line_[at_ + 1] == u'"') {
          sink(u'"');
          at_ += 2;
        } else {
          quoted = !quoted;
          ++at_;
        }
      } else {
        sink(c);
        ++at_;
      }
    }
    return true;
  }

 private:
  static bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

  TextView line_;
  size_t at_ = 0;
};

// The parameters after the program name.
std::vector<Text> SplitCommandLine(TextView command_line);

// The parameters in order, one space between them, each one that holds a
// space written between double quotes.
Text JoinParameters(const std::vector<Text>& parameters);

}  // namespace qx::core
