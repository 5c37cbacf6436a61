// Where the source is staged: the staging name follows from case-sensitive
// substring tests on the source path, and the staged path is the working
// directory, a backslash, that name and one trailing blank. The blank is part
// of the text recorded in the profile; the file services drop it, so the file
// itself is "temp.mov" or "temp.avi".
#pragma once

#include "common/fixed_string.h"

namespace videostage {

// The platform's path limit, in bytes of 8-bit text with the terminator.
constexpr size_t kPathBytes = 260;
using StagedPath = qx::FixedString<char, kPathBytes>;

struct StagingRule {
  const char* upper;  // ".MOV"
  const char* lower;  // ".mov"
  const char* name;   // "temp.mov"
};

// In the order the run applies them: a later match replaces an earlier one,
// so a path that matches both is staged as "temp.avi".
constexpr StagingRule kStagingRules[] = {
    {".MOV", ".mov", "temp.mov"},
    {".AVI", ".avi", "temp.avi"},
};

// True when |source| holds either form anywhere, folder names included.
// Mixed case (".Mov") matches neither.
bool MatchesRule(const StagingRule& rule, const char* source);

// Formats |directory| "\" |name| " " into |out|. False, with |out| empty,
// when the text does not fit.
bool FormatStagedPath(const char* directory, const char* name, StagedPath& out);

}  // namespace videostage
