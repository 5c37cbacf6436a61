// Parsing the language file, and the package's own file.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/language_table.h"
#include "engine/core/lines.h"
#include "doctest_text.h"

using namespace qx::core;

namespace {

Text T(const char16_t* s) { return Text(s); }

struct Parsed {
  std::vector<LanguageEntry> entries;
  int32_t language;
};

Parsed Parse(std::string_view bytes) {
  Parsed p;
  p.language = ParseLanguageTable(bytes, p.entries);
  return p;
}

}  // namespace

TEST_CASE("entries: spaces, equals signs, comments and stray lines") {
  Parsed p = Parse(
      "; comment\r\n"
      "[QXLang]\r\nEnglish\r\n1033\r\n"
      "  #ok=&OK  \r\n"
      "#errorwritefile=Cannot write data to file: \r\n"
      "#a=b=c\r\n"
      "#bare\r\n"
      "#lead=  x\r\n"
      "#empty=\r\n"
      "  ;#hidden=1\r\n"
      "stray=line\r\n"
      "\r\n"
      "#Mixed=T\r\n");
  CHECK_EQ(p.language, 1033);
  CHECK_EQ(p.entries.size(), size_t(7));
  if (p.entries.size() != 7) return;
  CHECK_EQ(p.entries[0].key, T(u"#ok"));
  CHECK_EQ(p.entries[0].text, T(u"&OK"));
  CHECK_EQ(p.entries[1].text, T(u"Cannot write data to file:"));
  CHECK_EQ(p.entries[2].key, T(u"#a"));
  CHECK_EQ(p.entries[2].text, T(u"b"));
  CHECK_EQ(p.entries[3].key, T(u"#bare"));
  CHECK_EQ(p.entries[3].text, T(u""));
  CHECK_EQ(p.entries[4].text, T(u"  x"));
  CHECK_EQ(p.entries[5].text, T(u""));
  CHECK_EQ(p.entries[6].key, T(u"#Mixed"));
  for (const LanguageEntry& e : p.entries) CHECK_EQ(e.language, 1033);
}

TEST_CASE("sections: first non-zero identifier, language 0 before the first") {
  Parsed p = Parse(
      "#early=0\n"
      "[QXLang]\nNeutral\n0\n"
      "#zero=z\n"
      "[QXLang]\nEnglish\n1033\n"
      "#cancel=&Cancel\n"
      "[QXLang]\nFrancais\n1036\n"
      "#cancel=&Annuler\n");
  CHECK_EQ(p.language, 1033);
  CHECK_EQ(p.entries.size(), size_t(4));
  if (p.entries.size() != 4) return;
  CHECK_EQ(p.entries[0].language, 0);
  CHECK_EQ(p.entries[1].language, 0);
  CHECK_EQ(p.entries[2].language, 1033);
  CHECK_EQ(p.entries[3].language, 1036);
  CHECK_EQ(p.entries[3].text, T(u"&Annuler"));
}

TEST_CASE("header lines must be exact: case, byte-order mark") {
  Parsed lower = Parse("[qxlang]\r\nEnglish\r\n1033\r\n#ok=&OK\r\n");
  CHECK_EQ(lower.language, 0);
  CHECK_EQ(lower.entries.size(), size_t(1));
  if (!lower.entries.empty()) CHECK_EQ(lower.entries[0].language, 0);

  Parsed bom = Parse("\xef\xbb\xbf[QXLang]\r\nEnglish\r\n1033\r\n#ok=&OK\r\n");
  CHECK_EQ(bom.language, 0);
  CHECK_EQ(bom.entries.size(), size_t(1));
  if (!bom.entries.empty()) CHECK_EQ(bom.entries[0].language, 0);

  // Spaces around the header are stripped like on every line.
  Parsed spaced = Parse("  [QXLang]  \r\nEnglish\r\n 1033 \r\n#ok=&OK\r\n");
  CHECK_EQ(spaced.language, 1033);
}

TEST_CASE("the name and identifier lines are taken whatever they hold") {
  // A header followed by an entry line: the entry is the name, the next entry
  // line the identifier, and neither becomes an entry.
  Parsed p = Parse("[QXLang]\r\n#one=1\r\n#two=2\r\n#three=3\r\n");
  CHECK_EQ(p.language, 0);
  CHECK_EQ(p.entries.size(), size_t(1));
  if (!p.entries.empty()) CHECK_EQ(p.entries[0].key, T(u"#three"));

  Parsed cut = Parse("#a=1\r\n[QXLang]\r\nEnglish");
  CHECK_EQ(cut.language, 0);
  CHECK_EQ(cut.entries.size(), size_t(1));

  Parsed hex = Parse("[QXLang]\nEnglish\n$409\n#x=y");
  CHECK_EQ(hex.language, 0x409);
}

TEST_CASE("UTF-8 texts, NUL line ends and an empty file") {
  std::string bytes = "[QXLang]\nDeutsch\n1031\n#close=Schlie\xc3\x9f" "en";
  bytes += std::string("\0#next=Weiter", 13);
  Parsed p = Parse(bytes);
  CHECK_EQ(p.entries.size(), size_t(2));
  if (p.entries.size() == 2) {
    CHECK_EQ(p.entries[0].text, T(u"Schlie\u00dfen"));
    CHECK_EQ(p.entries[1].key, T(u"#next"));
  }
  Parsed empty = Parse("");
  CHECK_EQ(empty.language, 0);
  CHECK(empty.entries.empty());
}

// A button's accelerator: the letter after its first single "&", in the
// case that the platform compares (Latin, Cyrillic and Turkish capitals
// folded), or 0 without one.
char16_t Accelerator(TextView text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    const char16_t c = text[i + 1];
    if (c == u'&') {
      ++i;
      continue;
    }
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F))
      return static_cast<char16_t>(c + 0x20);
    return c == 0x130 ? u'i' : c;
  }
  return 0;
}

TEST_CASE("every shipped section has the uninstaller's keys, texts without \"=\", keys descending, one box's "
          "accelerators apart") {
  const Text used[] = {u"#yestoall", u"#yes", u"#uninstallrestart", u"#uninstallprompt", u"#uninstallprogress",
                       u"#uninstalling", u"#uninstallincomplete", u"#uninstallfinal", u"#uninstallbusy",
                       u"#uninstalladminreq", u"#ok", u"#notoall", u"#no", u"#errorunlognotfound",
                       u"#errorunloginvalid", u"#close", u"#cancel"};
  // The buttons that share a box: a file conflict's question, and OK.
  const std::vector<std::vector<Text>> boxes = {{u"#yestoall", u"#yes", u"#notoall", u"#no", u"#cancel"},
                                                {u"#ok", u"#cancel"}};
  std::ifstream file(QX_PACKAGE_DIR "/qxlng.dat", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // UTF-8 without byte-order mark, every line ended by CR LF.
  CHECK((!bytes.empty() && bytes.rfind("\xef\xbb\xbf", 0) != 0));
  CHECK_EQ(std::count(bytes.begin(), bytes.end(), '\n'), std::count(bytes.begin(), bytes.end(), '\r'));
  std::vector<std::vector<std::pair<Text, Text>>> sections;  // each one's keys, folded, with their texts
  LineReader reader(bytes);
  for (Text line; reader.NextTrimmed(line);) {
    if (line == u"[QXLang]") sections.emplace_back();
    if (line.empty() || line[0] != u'#' || sections.empty()) continue;
    CAPTURE(line);
    CHECK_EQ(std::count(line.begin(), line.end(), u'='), 1);
    Text key = line.substr(0, line.find(u'='));
    for (char16_t& c : key) c = FoldAZ(c);
    if (!sections.back().empty()) CHECK_GT(sections.back().back().first, key);
    sections.back().emplace_back(key, line.substr(line.find(u'=') + 1));
  }
  CHECK_EQ(sections.size(), size_t(15));
  for (size_t i = 0; i < sections.size(); ++i) {
    CAPTURE(i);
    auto text_of = [&](const Text& key) -> const Text* {
      for (const auto& [k, text] : sections[i])
        if (k == key) return &text;
      return nullptr;
    };
    for (const Text& key : used) {
      CAPTURE(key);
      CHECK(text_of(key) != nullptr);
    }
    for (const std::vector<Text>& box : boxes) {
      Text letters;
      for (const Text& key : box) {
        CAPTURE(key);
        const char16_t letter = text_of(key) ? Accelerator(*text_of(key)) : 0;
        CHECK(letter != 0);
        CHECK(letters.find(letter) == Text::npos);
        letters.push_back(letter);
      }
    }
  }
}
