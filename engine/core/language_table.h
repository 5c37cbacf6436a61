// The language table: entries "#key=text" grouped in sections that open with
// a "[QXLang]" line followed by the language's name and its identifier.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/text.h"

namespace qx::core {

struct LanguageEntry {
  Text key;  // as written, "#" included, case kept
  Text text;
  int32_t language;
};

// Replaces |entries| with those of the file's bytes, in file order. Entries
// before the first section belong to language 0. Returns the identifier of
// the first section whose identifier is not 0, or 0 when there is none: the
// language in use after loading.
int32_t ParseLanguageTable(std::string_view bytes, std::vector<LanguageEntry>& entries);

// Whether |language|, a Windows language identifier, is written right to
// left: Arabic, Hebrew and the other languages of their scripts, in every
// country.
bool IsRightToLeftLanguage(int32_t language);

}  // namespace qx::core
