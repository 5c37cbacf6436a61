// The uninstall log's text format and the reading of its entries, free of any
// platform call. The log is UTF-8 with CR LF line ends: a five-line header,
// then entries of two lines each, a tag line and the payload line after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/keyed_table.h"
#include "engine/core/text.h"

namespace qx::core {

// Entry kinds, numbered as AddUninstLog takes them.
enum LogEntryKind : int {
  kLogFile = 0,
  kLogFolder = 1,
  kLogRegistryKey = 2,
  kLogRegistryValue = 3,
  kLogSharedFile = 4,
  kLogSelfRegisteredFile = 5,
  kLogIniKey = 6,
};

// The tag line of a kind; empty for a number outside 0 to 6.
TextView LogTag(int kind);

// The kind whose tag begins |line| without regard to case, or -1.
int TagKindOfLine(TextView line);

// Splits a payload into fields: a double quote switches quoting on and off
// and is never part of a field; outside quotes a space ends a field; empty
// fields are dropped; a field still open at the end is kept.
std::vector<Text> SplitQuotedFields(TextView text);

// How the file phase treats a collected path.
enum class EntryCode : uint8_t {
  kPlain = 1,
  kShared = 2,
  kSelfRegistered = 3,
  kSharedSelfRegistered = 4,
};

// The payloads collected for one replay phase, each once (compared exactly),
// in the order they were first met.
using EntrySet = KeyedTable<EntryCode>;

// Where BufferedLineReader takes its bytes from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Moves back to the first byte; false when it cannot.
  virtual bool Rewind() = 0;
  // Up to |size| bytes into |buffer|; 0 at the end or on a read error.
  virtual size_t Read(char* buffer, size_t size) = 0;
};

// Lines of a ByteSource, read a large chunk at a time. Lines end at CR, LF or
// CR LF; a last line without an end still counts. A NUL byte stays part of
// its line, so that the line is seen whole.
class BufferedLineReader {
 public:
  static constexpr size_t kDefaultChunk = size_t(1) << 20;

  explicit BufferedLineReader(ByteSource& source, size_t chunk = kDefaultChunk);

  // Starts again at the first line.
  bool Rewind();
  // |line| stays valid until the next call. False once every line was read.
  bool Next(std::string_view& line);
  // The next line as UTF-16, stripped of spaces at both ends; empty at the end.
  bool NextTrimmed(Text& line);

 private:
  // Appends one chunk to the buffer; false when the source had no more.
  bool Fill();

  ByteSource& source_;
  size_t chunk_;
  std::string buffer_;
  size_t start_ = 0;    // the first byte not yet handed out
  size_t scanned_ = 0;  // bytes from start_ known to hold no line end
  bool end_ = false;
};

// Fills |entries| for one replay phase from the whole log. |tag_kind| selects
// the tag: 0 files, 2 registry keys, 3 registry values, 6 INI keys, any other
// number folders. A payload holding a NUL byte is skipped. Every payload
// gets kPlain; for files, two more passes mark the shared files and then the
// self-registered ones (kSharedSelfRegistered when a path is both). A tag line's next line is always its payload, and a
// tag line at the very end has the empty payload.
void CollectLogEntries(BufferedLineReader& log, int tag_kind, EntrySet& entries);

// Orders folders, or registry keys, for removal: descending, without regard
// to the case of A-Z, so that every path comes before each path that begins
// it (a folder before its parent, a key before its parent key).
void SortPathsForRemoval(std::vector<Text>& paths);

// The root of a path's volume as written: "C:\" for "C:\App\x", and
// "\\server\share\" for a network path; empty for any other text.
Text VolumeRoot(TextView path);

// The folder that an in-use file is moved into before it is left for the
// restart: "qxmoved" at the root of the file's volume, where (unlike a user's
// temporary folder) no user without administrator rights may rename or
// replace what an administrator made; empty when the volume is unknown.
Text AsideFolderFor(TextView file);

// The five header lines of a new log.
std::string LogHeaderLines(TextView title, int32_t language, TextView install_folder);

// One entry as written: the tag line of |kind| (none for a number outside 0
// to 6) and the payload line. Line breaks inside the payload become spaces,
// so a payload can never turn into a line of its own.
std::string LogEntryLines(int kind, TextView payload);

}  // namespace qx::core
