// The uninstall log's format: tags, field splitting, buffered lines, entry
// collection, the folder order, written lines and registry paths.
#include <string>
#include <vector>

#include "engine/core/lines.h"
#include "engine/core/registry_path.h"
#include "doctest_text.h"
#include "engine/core/uninstall_log_format.h"

using namespace qx::core;

namespace {

using Fields = std::vector<Text>;

// Bytes handed out at most |step| at a time, to put chunk ends everywhere.
class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Rewind() override {
    at_ = 0;
    ++rewinds;
    return true;
  }
  size_t Read(char* buffer, size_t size) override {
    const size_t n = std::min(size, bytes_.size() - at_);
    bytes_.copy(buffer, n, at_);
    at_ += n;
    return n;
  }
  int rewinds = 0;

 private:
  std::string bytes_;
  size_t at_ = 0;
};

std::vector<std::string> AllLines(BufferedLineReader& reader) {
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}

struct Collected {
  std::vector<std::pair<Text, EntryCode>> entries;
  int rewinds;
};

Collected Collect(const std::string& log, int tag_kind, size_t chunk = 5) {
  StringSource source(log);
  BufferedLineReader reader(source, chunk);
  EntrySet set;
  set.Set(u"left over from an earlier phase", EntryCode::kPlain);
  CollectLogEntries(reader, tag_kind, set);
  Collected out{{}, source.rewinds};
  for (size_t i = 0; i < set.size(); ++i) out.entries.emplace_back(set[i].key, set[i].value);
  return out;
}

const std::string kHeader = "[QXUninst]\r\n30000\r\nOrvella\r\n1033\r\nC:\\Orvella\r\n";

}  // namespace

TEST_CASE("log tags: recognised by their start without regard to case") {
  CHECK_EQ(TagKindOfLine(u"#FOLDER"), 1);
  CHECK_EQ(TagKindOfLine(u"#regvalue"), 3);
  CHECK_EQ(TagKindOfLine(u"#SelfRegFile"), 5);
  CHECK_EQ(TagKindOfLine(u"#fil"), -1);
  CHECK_EQ(TagKindOfLine(u" #file"), -1);
}

TEST_CASE("quoted fields: quotes group, spaces split, empty fields vanish") {
  CHECK(SplitQuotedFields(u"\"C:\\Program Files\\a.ini\" Main  Size") ==
        (Fields{u"C:\\Program Files\\a.ini", u"Main", u"Size"}));
  CHECK(SplitQuotedFields(u"HKEY_CURRENT_USER\\Software\\X \"\"") == (Fields{u"HKEY_CURRENT_USER\\Software\\X"}));
  CHECK(SplitQuotedFields(u"a\"b c\"d") == (Fields{u"ab cd"}));
  CHECK(SplitQuotedFields(u"key \"open ended") == (Fields{u"key", u"open ended"}));
  CHECK(SplitQuotedFields(u"a\tb") == (Fields{u"a\tb"}));
  CHECK(SplitQuotedFields(u"   ").empty());
  CHECK(SplitQuotedFields(u"").empty());
}

TEST_CASE("buffered lines: the whole-file reader's lines at every chunk size, NUL kept inside its line") {
  const std::string nul_line = std::string("five") + '\0' + "six";
  const std::string text = "one\r\ntwo\rthree\n\r\n  four  \r\r\n" + nul_line + "\r\n\xd0\x9f\r";
  std::vector<std::string> expected;
  LineReader whole(text);
  std::string_view line;
  while (whole.Next(line)) expected.emplace_back(line);
  CHECK_EQ(expected.size(), size_t(9));
  expected[6] = nul_line;
  expected.erase(expected.begin() + 7);
  for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(64), BufferedLineReader::kDefaultChunk}) {
    StringSource source(text);
    BufferedLineReader reader(source, chunk);
    reader.Rewind();
    CHECK(AllLines(reader) == expected);
    // Reading again from the start gives the same lines.
    reader.Rewind();
    CHECK(AllLines(reader) == expected);
  }
  StringSource empty("");
  BufferedLineReader none(empty, 4);
  CHECK(AllLines(none).empty());

}

TEST_CASE("collection: one phase's payloads, each once, header and other kinds ignored") {
  const std::string log = kHeader +
                          "#file\r\nC:\\Orvella\\a.exe\r\n"
                          "#folder\r\nC:\\Orvella\r\n"
                          "#FILE\r\nC:\\Orvella\\a.exe\r\n"
                          "#file\r\nc:\\orvella\\A.EXE\r\n"
                          // The payload of a tag line is never a tag of its own.
                          "#regkey\r\n#file\r\n"
                          "#file\r\n  C:\\Orvella\\\xd0\x9a\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0.txt  \r\n"
                          // Cut at its zero byte, this payload would name C:\Orvella\a.
                          "#file\r\nC:\\Orvella\\a" + std::string(1, '\0') + ".exe\r\n";
  const Collected files = Collect(log, 0);
  CHECK_EQ(files.entries.size(), size_t(3));
  CHECK(files.entries[0] == std::make_pair(Text(u"C:\\Orvella\\a.exe"), EntryCode::kPlain));
  CHECK(files.entries[1].first == u"c:\\orvella\\A.EXE");
  CHECK(files.entries[2].first == u"C:\\Orvella\\\u041a\u043d\u0438\u0433\u0430.txt");
  CHECK_EQ(files.rewinds, 3);

  const Collected keys = Collect(log, 2);
  CHECK_EQ(keys.entries.size(), size_t(1));
  CHECK(keys.entries[0].first == u"#file");
  CHECK_EQ(keys.rewinds, 1);

  // Numbers without a phase of their own collect folders.
  for (int kind : {1, 4, 5, 7, -1}) {
    const Collected folders = Collect(log, kind);
    CHECK_EQ(folders.entries.size(), size_t(1));
    CHECK(folders.entries[0].first == u"C:\\Orvella");
  }
  CHECK(Collect(kHeader, 0).entries.empty());
  CHECK(Collect("", 3).entries.empty());
}

TEST_CASE("collection: shared and self-registered files get their codes whatever the log's order") {
  const std::string log = kHeader +
                          "#selfregfile\r\nC:\\both.dll\r\n"
                          "#file\r\nC:\\both.dll\r\n"
                          "#sharedfile\r\nC:\\both.dll\r\n"
                          "#sharedfile\r\nC:\\shared.dll\r\n"
                          "#file\r\nC:\\shared.dll\r\n"
                          "#selfregfile\r\nC:\\reg.dll\r\n"
                          "#file\r\nC:\\logged.dll\r\n"
                          "#selfregfile\r\nC:\\logged.dll\r\n"
                          "#file\r\nC:\\plain.txt\r\n"
                          "#inikey\r\n";
  const Collected files = Collect(log, 0, 7);
  auto code_of = [&](const char16_t* path) {
    for (const auto& entry : files.entries)
      if (entry.first == path) return static_cast<int>(entry.second);
    return 0;
  };
  CHECK_EQ(files.entries.size(), size_t(5));
  CHECK_EQ(code_of(u"C:\\both.dll"), 4);
  // Logged as a plain file first: registered, but never shared.
  CHECK_EQ(code_of(u"C:\\logged.dll"), 3);
  CHECK_EQ(code_of(u"C:\\shared.dll"), 2);
  CHECK_EQ(code_of(u"C:\\reg.dll"), 3);
  CHECK_EQ(code_of(u"C:\\plain.txt"), 1);

  // A tag on the last line has the empty payload.
  const Collected ini = Collect(log, 6);
  CHECK_EQ(ini.entries.size(), size_t(1));
  CHECK(ini.entries[0].first.empty());
}

TEST_CASE("folder order: every folder before the folders that lead its path") {
  std::vector<Text> folders = {u"C:\\App", u"C:\\app\\Data", u"C:\\App\\data\\Cache", u"C:\\App\\Bin", u"C:\\Ap",
                               u"D:\\x"};
  SortPathsForRemoval(folders);
  CHECK(folders == (std::vector<Text>{u"D:\\x", u"C:\\App\\data\\Cache", u"C:\\app\\Data", u"C:\\App\\Bin",
                                     u"C:\\App", u"C:\\Ap"}));
  // Paths that differ only in letter case keep their order.
  std::vector<Text> cased = {u"C:\\b", u"C:\\A", u"C:\\B"};
  SortPathsForRemoval(cased);
  CHECK(cased == (std::vector<Text>{u"C:\\b", u"C:\\B", u"C:\\A"}));
}

TEST_CASE("written lines: a tag line for kinds 0 to 6, one line per payload") {
  CHECK_EQ(LogEntryLines(6, u"a.ini S \u041a"), std::string("#inikey\r\na.ini S \xd0\x9a\r\n"));
  CHECK_EQ(LogEntryLines(9, u"free text"), std::string("free text\r\n"));
  // A line break in the payload would smuggle in an entry of its own.
  CHECK_EQ(LogEntryLines(1, u"C:\\x\r\n#file\r\nC:\\Windows\\a.dll"),
           std::string("#folder\r\nC:\\x  #file  C:\\Windows\\a.dll\r\n"));
}

TEST_CASE("registry paths: the five full root names in any case") {
  const std::pair<const char16_t*, uint32_t> roots[] = {
      {u"HKEY_CLASSES_ROOT\\.orv", 0x80000000u},  {u"hkey_current_user\\Software\\Sub", 0x80000001u},
      {u"HKEY_Local_Machine", 0x80000002u},       {u"HKEY_USERS\\x", 0x80000003u},
      {u"HKEY_CURRENT_CONFIG\\x", 0x80000005u}, {u"HKEY_CURRENT_USERS\\Software", 0u}};
  for (const auto& [path, root] : roots) CHECK_EQ(ParseRegistryPath(path).root, root);
  CHECK(ParseRegistryPath(u"hkey_current_user\\Software\\Sub").subkey == u"Software\\Sub");
  CHECK(ParseRegistryPath(u"HKEY_CURRENT_USER").subkey.empty());
}

TEST_CASE("aside folders: the root of the file's volume") {
  struct Case {
    TextView file, folder;
  } cases[] = {
      {u"C:\\App\\a.exe", u"C:\\qxmoved"},
      {u"d:\\App\\a.exe", u"d:\\qxmoved"},
      {u"\\\\srv\\share\\App\\a.exe", u"\\\\srv\\share\\qxmoved"},
      // No volume to stay on: the file is left where it is.
      {u"App\\a.exe", u""},
      {u"\\\\srv\\a.exe", u""},
      {u"\\\\\\share\\a.exe", u""},
      {u"C:a.exe", u""},
  };
  for (const Case& c : cases) {
    CAPTURE(c.file);
    CHECK(AsideFolderFor(c.file) == c.folder);
  }
}
