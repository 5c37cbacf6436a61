#include "engine/core/language_table.h"

#include "engine/core/lines.h"

namespace qx::core {

int32_t ParseLanguageTable(std::string_view bytes, std::vector<LanguageEntry>& entries) {
  entries.clear();
  int32_t first_language = 0;
  int32_t section = 0;
  LineReader reader(bytes);
  Text line;
  while (reader.NextTrimmed(line)) {
    if (line.empty() || line[0] == u';') continue;
    if (line == u"[QXLang]") {
      // The name line and the identifier line are taken whatever they hold;
      // missing ones at the end of the file count as empty.
      Text name, identifier;
      reader.NextTrimmed(name);
      reader.NextTrimmed(identifier);
      section = ReadNumber(identifier);
      if (first_language == 0) first_language = section;
      continue;
    }
    if (line[0] != u'#') continue;
    TextView view(line);
    size_t equals = view.find(u'=');
    LanguageEntry entry{Text(view.substr(0, equals)), Text(), section};
    if (equals != kNotFound) {
      TextView rest = view.substr(equals + 1);
      entry.text.assign(rest.substr(0, rest.find(u'=')));
    }
    entries.push_back(std::move(entry));
  }
  return first_language;
}

bool IsRightToLeftLanguage(int32_t language) {
  // Primary languages (the identifier's low ten bits): Arabic, Hebrew, Urdu,
  // Persian, Yiddish, Syriac, Pashto, Divehi, Uyghur, Dari, Central Kurdish.
  static constexpr uint16_t kRightToLeft[] = {0x01, 0x0D, 0x20, 0x29, 0x3D, 0x5A, 0x63, 0x65, 0x80, 0x8C, 0x92};
  const uint16_t primary = static_cast<uint16_t>(language & 0x3FF);
  for (uint16_t candidate : kRightToLeft)
    if (candidate == primary) return true;
  return false;
}

}  // namespace qx::core
