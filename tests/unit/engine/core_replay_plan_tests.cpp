// The replay planner against a file system, registry and launcher in a
// table: each case names what is there, the log's entries, and the record
// lines, callback reports and flags that must follow, in their order.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "doctest_text.h"
#include "engine/core/replay_plan.h"

using namespace qx::core;

namespace {

// How a path stands in the fake file system.
enum Node : uint8_t {
  kPlain,    // a file that goes
  kFolder,   // a folder
  kLink,     // a folder that is a link
  kHeld,     // a file held without delete sharing: neither deleted nor moved
  kMapped,   // a running program: not deleted, but moved
  kPending,  // held with delete sharing: deleted, its name stays, it moves
  kDenied,   // refused with an error that is no sharing
  kOpen,     // a folder that users without rights can change
};

struct Thing {
  const char16_t* path;
  Node node = kPlain;
};

struct Case {
  const char* name;
  std::vector<Thing> things;
  std::vector<std::tuple<const char16_t*, int, int>> counters;  // shared files' counters, before and after
  std::vector<std::pair<LogEntryKind, const char16_t*>> log;
  std::vector<const char16_t*> events;  // record lines, "call <path> <gone>", "unregister ..."
  bool restart = false, not_removed = false;
  bool refuse_scheduling = false;
  bool no_callback = false;
};

Text Fold(TextView text) {
  Text out(text);
  for (char16_t& c : out) c = FoldAZ(c);
  return out;
}

Text ParentOf(TextView path) {
  const size_t at = path.find_last_of(u'\\');
  return Text(path.substr(0, at == TextView::npos ? 0 : at));
}

// The uninstaller is known by a short spelling as well, as the platform
// knows a file whatever its path's spelling.
constexpr char16_t kUninstaller[] = u"C:\\App\\uninstall.exe";
constexpr char16_t kShortUninstaller[] = u"C:\\APP~1\\UNINST~1.EXE";

class FakeSystem final : public ReplayFacts, public ReplayActions {
 public:
  explicit FakeSystem(const Case& c) : refuse_(c.refuse_scheduling), callback_(!c.no_callback) {
    for (const Thing& thing : c.things) nodes_[KeyOf(thing.path)] = thing.node;
    for (const auto& [path, count, after] : c.counters) counters_[KeyOf(path)] = count;
  }

  EntryFacts FactsOf(const Text& path) override {
    EntryFacts facts;
    facts.own = KeyOf(path) == KeyOf(kUninstaller) || KeyOf(path) == KeyOf(u"C:\\App\\uninstall.log");
    for (Text folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder))
      facts.behind_link = facts.behind_link || (Find(folder) && *Find(folder) == kLink);
    facts.is_file = Find(path) && *Find(path) != kFolder && *Find(path) != kLink && *Find(path) != kOpen;
    facts.remote = path.starts_with(u"\\\\");
    return facts;
  }
  Text KeyOf(const Text& path) override { return Fold(path == kShortUninstaller ? Text(kUninstaller) : path); }
  bool ClosedToUsers(const Text& path) override {
    for (Text folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder))
      if (Find(folder) && *Find(folder) == kOpen) return false;
    return true;
  }
  // As the platform does it: one look, into the first path's folder.
  std::vector<size_t> NamesLeft(const std::vector<const Text*>& paths) override {
    std::vector<size_t> left;
    for (size_t i = 0; i < paths.size(); ++i)
      if (Find(*paths[i]) && ParentOf(KeyOf(*paths[i])) == KeyOf(ParentOf(*paths[0]))) left.push_back(i);
    return left;
  }
  void VisitChildren(const Text& folder, ChildVisitor& visit) override {
    for (const auto& [key, node] : nodes_)
      if (ParentOf(key) == KeyOf(folder) && !visit.Visit(key)) return;
  }

  bool ReleaseSharedFile(const Text& path) override {
    auto counter = counters_.find(KeyOf(path));
    if (counter == counters_.end()) return true;
    if (--counter->second >= 1) return false;
    counters_.erase(counter);
    return true;
  }
  void Unregister(const Text& path) override { events.push_back(u"unregister " + path); }
  // The platform's own error codes, as Win32 gives them.
  uint32_t Remove(LogEntryKind kind, std::span<const Text> fields) override {
    const Text path = kind == kLogRegistryKey || kind == kLogFile || kind == kLogFolder
                          ? fields[0]
                          : fields[0] + u"\\" + fields[1] + (kind == kLogIniKey ? u"\\" + fields[2] : Text());
    if (kind == kLogRegistryKey || kind == kLogRegistryValue) {
      if (!StartsWithNoCase(path, u"HKEY_")) return 161;
    } else if (kind == kLogIniKey && !Find(fields[0])) {
      return 2;
    }
    const Node* node = Find(path);
    if (!node) return 2;
    const bool folder = *node == kFolder || *node == kLink || *node == kOpen;
    if (kind == kLogFile && folder) return 267;
    if (*node == kHeld) return 32;
    if (*node == kMapped) return 5;
    if (*node == kDenied) return kind == kLogFile ? 1359 : 5;
    if (*node == kPending) return 0;
    for (const auto& [key, child] : nodes_)
      if (ParentOf(key) == KeyOf(path) && kind != kLogFile) return 145;
    nodes_.erase(KeyOf(path));
    return 0;
  }
  Text MoveAside(const Text& path) override {
    const Node* node = Find(path);
    if (!node || (*node != kMapped && *node != kPending)) return Text();
    nodes_.erase(KeyOf(path));
    const Text moved = u"T:\\qxmoved\\" + DecimalText(++moves_) + u".tmp";
    nodes_[KeyOf(moved)] = kPlain;
    return moved;
  }
  bool Report(const Text& path, bool gone) override {
    if (callback_) events.push_back(u"call " + path + (gone ? u" 1" : u" 0"));
    return gone || !refuse_;
  }
  void Record(LogEntryKind kind, const Text& path, const EntryOutcome& outcome) override {
    events.push_back(RecordLine(kind, path, outcome, u"error " + DecimalText(outcome.error)));
  }

  const Node* Find(const Text& path) {
    auto node = nodes_.find(KeyOf(path));
    return node == nodes_.end() ? nullptr : &node->second;
  }
  std::vector<Text> events;
  std::map<Text, int> counters_;

 private:
  std::map<Text, Node> nodes_;
  bool refuse_;
  bool callback_;
  int moves_ = 0;
};

EntrySet Entries(const Case& c, LogEntryKind kind) {
  EntrySet set;
  for (const auto& [entry_kind, payload] : c.log) {
    const EntryCode* code = set.Find(payload);
    if (entry_kind == kind) set.Set(payload, code ? *code : EntryCode::kPlain);
    if (kind == kLogFile && entry_kind == kLogSharedFile) set.Set(payload, EntryCode::kShared);
    if (kind == kLogFile && entry_kind == kLogSelfRegisteredFile) set.Set(payload, EntryCode::kSelfRegistered);
  }
  return set;
}

const Case kCases[] = {
    {"removed, not there, the folder after its files, a missing folder",
     {{u"C:\\App", kFolder}, {u"C:\\App\\a.txt"}},
     {},
     {{kLogFolder, u"C:\\App"}, {kLogFile, u"C:\\App\\a.txt"}, {kLogFile, u"C:\\App\\b.txt"},
      {kLogFolder, u"C:\\Gone"}},
     {u"call C:\\App\\a.txt 1", u"file C:\\App\\a.txt: removed", u"call C:\\App\\b.txt 1",
      u"file C:\\App\\b.txt: not there", u"folder C:\\Gone: not there", u"folder C:\\App: removed"}},
    {"a folder at a file's path fails; a file refused for another reason is left for the restart",
     {{u"C:\\App", kFolder}, {u"C:\\App\\a.txt", kFolder}, {u"C:\\App\\b.dat", kDenied}},
     {},
     {{kLogFolder, u"C:\\App"}, {kLogFile, u"C:\\App\\a.txt"}, {kLogFile, u"C:\\App\\b.dat"}},
     {u"call C:\\App\\a.txt 0", u"file C:\\App\\a.txt: failed: a folder stands at its path",
      u"call C:\\App\\b.dat 0", u"file C:\\App\\b.dat: not deleted (error 1359), left for the restart",
      u"folder C:\\App: kept: it holds logged items that could not be removed"},
     true,
     true},
    {"held files wait where they are and keep their folders; an empty folder in use fails",
     {{u"C:\\App", kFolder}, {u"C:\\App\\bin", kFolder}, {u"C:\\App\\bin\\a.dll", kHeld}, {u"C:\\Empty", kHeld}},
     {},
     {{kLogFolder, u"C:\\App"}, {kLogFolder, u"C:\\App\\bin"}, {kLogFile, u"C:\\App\\bin\\a.dll"},
      {kLogFolder, u"C:\\Empty"}},
     {u"call C:\\App\\bin\\a.dll 0", u"file C:\\App\\bin\\a.dll: in use (error 32), left for the restart",
      u"folder C:\\Empty: failed: in use (error 32), not scheduled for restart",
      u"folder C:\\App\\bin: kept: what it holds waits for the restart",
      u"folder C:\\App: kept: what it holds waits for the restart"},
     true,
     true},
    {"running programs and pending deletes move aside, reported there; the aside folder is recorded",
     {{u"C:\\App", kFolder}, {u"C:\\App\\a.exe", kMapped}, {u"C:\\App\\b.dll", kPending},
      {u"C:\\Other", kFolder}, {u"C:\\Other\\x.txt"}},
     {},
     {{kLogFile, u"C:\\Other\\x.txt"}, {kLogFile, u"C:\\App\\a.exe"}, {kLogFile, u"C:\\App\\b.dll"},
      {kLogFolder, u"C:\\App"}, {kLogFolder, u"C:\\Other"}},
     {u"call C:\\Other\\x.txt 1", u"file C:\\Other\\x.txt: removed", u"call T:\\qxmoved\\1.tmp 0",
      u"file C:\\App\\a.exe: in use (error 5); moved aside to T:\\qxmoved\\1.tmp, left for the restart",
      u"call T:\\qxmoved\\2.tmp 0",
      u"file C:\\App\\b.dll: deleted, but another program still holds it open; moved aside to T:\\qxmoved\\2.tmp, "
      u"left for the restart",
      u"folder T:\\qxmoved: kept: it holds files moved aside, which go at the restart", u"folder C:\\Other: removed",
      u"folder C:\\App: removed"},
     true},
    {"the launcher's failed scheduling is a failure, and no restart is asked for",
     {{u"C:\\App", kFolder}, {u"C:\\App\\a.dll", kHeld}, {u"C:\\App\\b.exe", kMapped}},
     {},
     {{kLogFile, u"C:\\App\\a.dll"}, {kLogFile, u"C:\\App\\b.exe"}, {kLogFolder, u"C:\\App"}},
     {u"call C:\\App\\a.dll 0", u"file C:\\App\\a.dll: failed: in use (error 32), not scheduled for restart",
      u"call T:\\qxmoved\\1.tmp 0",
      u"file C:\\App\\b.exe: failed: in use (error 5); moved aside to T:\\qxmoved\\1.tmp, not scheduled for restart",
      u"folder T:\\qxmoved: kept: it holds files moved aside, which go at the restart",
      u"folder C:\\App: kept: it holds logged items that could not be removed"},
     false,
     true,
     true},
    {"without a callback nothing is moved aside, and what is in use fails",
     {{u"C:\\App", kFolder}, {u"C:\\App\\a.exe", kMapped}, {u"C:\\App\\x.txt"}},
     {},
     {{kLogFile, u"C:\\App\\a.exe"}, {kLogFile, u"C:\\App\\x.txt"}, {kLogFolder, u"C:\\App"}},
     {u"file C:\\App\\a.exe: failed: in use (error 5), not scheduled for restart", u"file C:\\App\\x.txt: removed",
      u"folder C:\\App: kept: it holds logged items that could not be removed"},
     false,
     true,
     false,
     true},
    {"behind a link: left alone, counter and all, and not reported; user files keep their folder",
     {{u"C:\\App", kFolder}, {u"C:\\App\\Data", kLink}, {u"C:\\App\\Data\\x.dll"}, {u"C:\\App\\mine.txt"}},
     {{u"C:\\App\\Data\\x.dll", 1, 1}},
     {{kLogSharedFile, u"C:\\App\\Data\\x.dll"}, {kLogFolder, u"C:\\App\\Data\\Sub"}, {kLogFolder, u"C:\\App"}},
     {u"file C:\\App\\Data\\x.dll: left alone: its path passes through a link or a mount point",
      u"folder C:\\App\\Data\\Sub: left alone: its path passes through a link or a mount point",
      u"folder C:\\App: kept: it holds what the log does not record"},
     false,
     true},
    {"shared counters: kept (and not reported) while others use the file, removed at the last; registered "
     "libraries unregistered",
     {{u"C:\\Shared", kFolder}, {u"C:\\Shared\\three.dll"}, {u"C:\\Shared\\one.dll"}, {u"C:\\Shared\\reg.dll"}},
     {{u"C:\\Shared\\three.dll", 3, 2}, {u"C:\\Shared\\one.dll", 1, 0}},
     {{kLogSharedFile, u"C:\\Shared\\three.dll"}, {kLogSharedFile, u"C:\\Shared\\one.dll"},
      {kLogSelfRegisteredFile, u"C:\\Shared\\reg.dll"}, {kLogSelfRegisteredFile, u"C:\\Shared\\gone.dll"},
      {kLogFolder, u"C:\\Shared"}},
     {u"unregister C:\\Shared\\reg.dll", u"file C:\\Shared\\three.dll: kept by its shared counter",
      u"call C:\\Shared\\one.dll 1", u"file C:\\Shared\\one.dll: removed", u"call C:\\Shared\\reg.dll 1",
      u"file C:\\Shared\\reg.dll: removed", u"call C:\\Shared\\gone.dll 1", u"file C:\\Shared\\gone.dll: not there",
      u"folder C:\\Shared: kept: it holds shared files that other programs still use"}},
    {"the uninstaller and its log go last, known by any spelling, and then their folder",
     {{u"C:\\App", kFolder}, {u"C:\\App\\uninstall.exe"}, {u"C:\\App\\UNINSTALL.LOG"}, {u"C:\\App\\a.txt"}},
     {},
     {{kLogFile, kShortUninstaller}, {kLogFile, u"C:\\app\\uninstall.log"}, {kLogFile, u"C:\\App\\a.txt"},
      {kLogFolder, u"C:\\App"}},
     {u"call C:\\App\\a.txt 1", u"file C:\\App\\a.txt: removed", u"call C:\\APP~1\\UNINST~1.EXE 1",
      u"file C:\\APP~1\\UNINST~1.EXE: removed", u"call C:\\app\\uninstall.log 1",
      u"file C:\\app\\uninstall.log: removed", u"folder C:\\App: removed"}},
    {"the uninstaller and its log held by a waiting first stage ask for no restart, nor does their folder",
     {{u"C:\\App", kFolder}, {u"C:\\App\\uninstall.exe", kMapped}, {u"C:\\App\\uninstall.log", kHeld}},
     {},
     {{kLogFile, u"C:\\App\\uninstall.exe"}, {kLogFile, u"C:\\App\\uninstall.log"}, {kLogFolder, u"C:\\App"}},
     {u"call T:\\qxmoved\\1.tmp 0",
      u"file C:\\App\\uninstall.exe: in use (error 5); moved aside to T:\\qxmoved\\1.tmp, left for the restart",
      u"call C:\\App\\uninstall.log 0", u"file C:\\App\\uninstall.log: in use (error 32), left for the restart",
      u"folder T:\\qxmoved: kept: it holds files moved aside, which go at the restart",
      u"folder C:\\App: kept: what it holds waits for the restart"}},
    {"nothing waits where the restart cannot act safely: on a network volume, or in place where users can change "
     "a folder; neither is reported",
     {{u"C:\\Open", kOpen}, {u"C:\\Open\\a.dll", kHeld}, {u"C:\\Open\\b.exe", kMapped},
      {u"\\\\srv\\share\\c.exe", kMapped}},
     {},
     {{kLogFile, u"C:\\Open\\a.dll"}, {kLogFile, u"C:\\Open\\b.exe"}, {kLogFile, u"\\\\srv\\share\\c.exe"}},
     {u"file C:\\Open\\a.dll: failed: in use (error 32), not scheduled for restart: users without rights can "
      u"change a folder on its path",
      u"call T:\\qxmoved\\1.tmp 0",
      u"file C:\\Open\\b.exe: in use (error 5); moved aside to T:\\qxmoved\\1.tmp, left for the restart",
      u"file \\\\srv\\share\\c.exe: failed: cannot be deleted at restart on a network volume",
      u"folder T:\\qxmoved: kept: it holds files moved aside, which go at the restart"},
     true,
     true},
    {"registry keys deepest first, values and INI keys",
     {{u"HKEY_CURRENT_USER\\S", kFolder}, {u"HKEY_CURRENT_USER\\S\\A", kFolder},
      {u"HKEY_CURRENT_USER\\S\\A\\v"}, {u"HKEY_CURRENT_USER\\S\\Mine", kFolder},
      {u"HKEY_CURRENT_USER\\T", kFolder}, {u"HKEY_CURRENT_USER\\T\\Locked", kDenied},
      {u"C:\\a.ini", kFolder}, {u"C:\\a.ini\\Main\\k"}},
     {},
     {{kLogRegistryKey, u"HKEY_CURRENT_USER\\S"}, {kLogRegistryKey, u"HKEY_CURRENT_USER\\S\\A"},
      {kLogRegistryKey, u"HKEY_CURRENT_USER\\T"}, {kLogRegistryKey, u"HKEY_CURRENT_USER\\T\\Locked"},
      {kLogRegistryKey, u"HKCU\\X"}, {kLogRegistryValue, u"HKEY_CURRENT_USER\\S\\A v"},
      {kLogRegistryValue, u"\"HKEY_CURRENT_USER\\S\\A\" w"}, {kLogRegistryValue, u"HKCU\\S v"},
      {kLogRegistryValue, u"\"\""}, {kLogIniKey, u"C:\\a.ini Main k"}, {kLogIniKey, u"C:\\b.ini Main k"},
      {kLogIniKey, u"C:\\a.ini Main"}},
     {u"registry value HKEY_CURRENT_USER\\S\\A v: removed",
      u"registry value \"HKEY_CURRENT_USER\\S\\A\" w: not there",
      u"registry value HKCU\\S v: failed: not a registry path",
      u"registry key HKEY_CURRENT_USER\\T\\Locked: failed with error 5",
      u"registry key HKEY_CURRENT_USER\\T: kept: it holds logged items that could not be removed",
      u"registry key HKEY_CURRENT_USER\\S\\A: removed",
      u"registry key HKEY_CURRENT_USER\\S: kept: it holds what the log does not record",
      u"registry key HKCU\\X: failed: not a registry path", u"INI key C:\\a.ini Main k: removed",
      u"INI key C:\\b.ini Main k: not there"},
     false,
     true},
};

}  // namespace

TEST_CASE("replay planner: one outcome per entry, and everything that follows from it") {
  for (const Case& c : kCases) {
    const std::string name = c.name;
    CAPTURE(name);
    FakeSystem fake(c);
    ReplaySystem system{fake, fake, !c.no_callback};
    ReplayPlanner planner;
    planner.FilePhase(Entries(c, kLogFile), system);
    planner.FolderPhase(Entries(c, kLogFolder), system);
    planner.RegistryValuePhase(Entries(c, kLogRegistryValue), system);
    planner.RegistryKeyPhase(Entries(c, kLogRegistryKey), system);
    planner.IniKeyPhase(Entries(c, kLogIniKey), system);
    Text events, expected;
    for (const Text& event : fake.events) events += event + u"\n";
    for (const char16_t* event : c.events) expected += Text(event) + u"\n";
    CHECK(events == expected);
    CHECK(planner.restart_needed() == c.restart);
    CHECK(planner.not_removed() == c.not_removed);
    for (const auto& [path, count, after] : c.counters) {
      auto left = fake.counters_.find(Fold(path));
      CHECK((left == fake.counters_.end() ? 0 : left->second) == after);
    }
  }
}

TEST_CASE("replay planner: what each platform error means for each kind of entry") {
  struct Row {
    LogEntryKind kind;
    uint32_t error;
    Status status;
  };
  const Row rows[] = {
      {kLogFile, 0, Status::kDone},          {kLogFile, 2, Status::kMissing},
      {kLogFolder, 3, Status::kMissing},     {kLogRegistryKey, 206, Status::kMissing},
      {kLogFile, 32, Status::kInUse},        {kLogFile, 5, Status::kInUse},
      {kLogRegistryKey, 5, Status::kFailed}, {kLogIniKey, 32, Status::kFailed},
      {kLogFile, 267, Status::kIsFolder},    {kLogFolder, 267, Status::kFailed},
      {kLogFolder, 145, Status::kNotEmpty},  {kLogRegistryKey, 145, Status::kNotEmpty},
      {kLogRegistryValue, 145, Status::kFailed}, {kLogRegistryValue, 161, Status::kBadPath},
      {kLogFile, 161, Status::kFailed},      {kLogFolder, 1359, Status::kInUse},
      {kLogFile, 1359, Status::kFailed},
  };
  for (const Row& row : rows) {
    CAPTURE(row.kind);
    CAPTURE(row.error);
    CHECK(StatusOf(row.kind, row.error) == row.status);
  }
}
