#include "engine/core/uninstall_log_format.h"

#include <algorithm>

namespace qx::core {

namespace {

constexpr TextView kTags[] = {u"#file", u"#folder", u"#regkey", u"#regval", u"#sharedfile", u"#selfregfile", u"#inikey"};
constexpr int kTagCount = static_cast<int>(sizeof kTags / sizeof kTags[0]);

// The kind whose tag begins the UTF-8 |line|, as TagKindOfLine reads it:
// the tags are ASCII, so no other line needs decoding to tell.
int TagKindOfBytes(std::string_view line) {
  if (line.empty() || line[0] != '#') return -1;
  for (int kind = 0; kind < kTagCount; ++kind) {
    const TextView tag = kTags[kind];
    if (line.size() < tag.size()) continue;
    size_t i = 0;
    while (i < tag.size() && FoldAZ(static_cast<unsigned char>(line[i])) == tag[i]) ++i;
    if (i == tag.size()) return kind;
  }
  return -1;
}

// Calls |take| with the payload of every entry of kind |wanted|; the other
// entries' payloads are read past undecoded.
template <typename Take>
void ForEachEntry(BufferedLineReader& log, int wanted, Take take) {
  log.Rewind();
  std::string_view line;
  Text payload;
  while (log.Next(line)) {
    const int kind = TagKindOfBytes(TrimSpaces(line));
    if (kind < 0) continue;
    if (kind != wanted) {
      log.Next(line);
      continue;
    }
    log.NextTrimmed(payload);
    // Cut at its zero byte, the payload would name another path.
    if (payload.find(u'\0') != Text::npos) continue;
    take(payload);
  }
}

void AppendLine(std::string& out, TextView text) {
  const size_t start = out.size();
  AppendUtf8(out, text);
  for (size_t i = start; i < out.size(); ++i)
    if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
  out.append("\r\n");
}

// Negative, zero or positive as |a| sorts before, with or after |b|, folding
// A-Z; a path sorts after every leading part of itself.
int CompareNoCase(TextView a, TextView b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = FoldAZ(a[i]), y = FoldAZ(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

TextView LogTag(int kind) { return kind >= 0 && kind < kTagCount ? kTags[kind] : TextView(); }

int TagKindOfLine(TextView line) {
  if (line.empty() || line[0] != u'#') return -1;
  for (int kind = 0; kind < kTagCount; ++kind)
    if (StartsWithNoCase(line, kTags[kind])) return kind;
  return -1;
}

std::vector<Text> SplitQuotedFields(TextView text) {
  std::vector<Text> fields;
  Text field;
  bool quoted = false;
  for (char16_t c : text) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u' ' && !quoted) {
      if (!field.empty()) fields.push_back(std::move(field));
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

BufferedLineReader::BufferedLineReader(ByteSource& source, size_t chunk)
    : source_(source), chunk_(chunk ? chunk : 1) {}

bool BufferedLineReader::Rewind() {
  buffer_.clear();
  start_ = scanned_ = 0;
  end_ = false;
  return source_.Rewind();
}

bool BufferedLineReader::Fill() {
  if (end_) return false;
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t old = buffer_.size();
  buffer_.resize(old + chunk_);
  const size_t got = source_.Read(buffer_.data() + old, chunk_);
  buffer_.resize(old + got);
  if (got == 0) end_ = true;
  return got != 0;
}

bool BufferedLineReader::Next(std::string_view& line) {
  for (;;) {
    size_t at = start_ + scanned_;
    while (at < buffer_.size() && buffer_[at] != '\r' && buffer_[at] != '\n') ++at;
    // A CR that ends the buffer may be the first half of CR LF.
    const bool complete = at < buffer_.size() && !(buffer_[at] == '\r' && at + 1 == buffer_.size() && !end_);
    if (complete) {
      line = std::string_view(buffer_).substr(start_, at - start_);
      size_t next = at + 1;
      if (buffer_[at] == '\r' && next < buffer_.size() && buffer_[next] == '\n') ++next;
      start_ = next;
      scanned_ = 0;
      return true;
    }
    scanned_ = at - start_;
    if (Fill()) continue;
    // The source has ended (Fill may have moved the unread bytes to the front).
    if (start_ + scanned_ < buffer_.size()) continue;  // a CR at the very end ends a line after all
    if (start_ >= buffer_.size()) {
      line = {};
      return false;
    }
    line = std::string_view(buffer_).substr(start_);
    start_ = buffer_.size();
    scanned_ = 0;
    return true;
  }
}

bool BufferedLineReader::NextTrimmed(Text& line) {
  std::string_view bytes;
  const bool got = Next(bytes);
  line = Utf8ToUtf16(TrimSpaces(bytes));
  return got;
}

void CollectLogEntries(BufferedLineReader& log, int tag_kind, EntrySet& entries) {
  entries.Clear();
  const int wanted = (tag_kind == kLogFile || tag_kind == kLogRegistryKey || tag_kind == kLogRegistryValue ||
                      tag_kind == kLogIniKey)
                         ? tag_kind
                         : kLogFolder;
  ForEachEntry(log, wanted, [&](const Text& payload) { entries.Set(payload, EntryCode::kPlain); });
  if (wanted != kLogFile) return;
  ForEachEntry(log, kLogSharedFile, [&](const Text& payload) { entries.Set(payload, EntryCode::kShared); });
  ForEachEntry(log, kLogSelfRegisteredFile, [&](const Text& payload) {
    const EntryCode* code = entries.Find(payload);
    entries.Set(payload, code && *code == EntryCode::kShared ? EntryCode::kSharedSelfRegistered
                                                              : EntryCode::kSelfRegistered);
  });
}

void SortPathsForRemoval(std::vector<Text>& paths) {
  // A merge sort of runs that double in width, so that equal paths keep
  // their order; the library's stable sort is several times its code.
  const size_t count = paths.size();
  std::vector<Text> merged(count);
  for (size_t width = 1; width < count; width *= 2) {
    for (size_t low = 0; low < count; low += 2 * width) {
      const size_t middle = std::min(low + width, count), high = std::min(middle + width, count);
      size_t left = low, right = middle, out = low;
      while (left < middle || right < high) {
        const bool take_right = left == middle || (right < high && CompareNoCase(paths[right], paths[left]) > 0);
        merged[out++] = std::move(paths[take_right ? right++ : left++]);
      }
    }
    paths.swap(merged);
  }
}

Text VolumeRoot(TextView path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return Text(path.substr(0, 3));
  if (path.size() < 3 || path[0] != u'\\' || path[1] != u'\\') return Text();
  const size_t server_end = path.find(u'\\', 2);
  if (server_end == TextView::npos || server_end == 2) return Text();
  const size_t share_end = path.find(u'\\', server_end + 1);
  if (share_end == TextView::npos || share_end == server_end + 1) return Text();
  return Text(path.substr(0, share_end + 1));
}

Text AsideFolderFor(TextView file) {
  const Text root = VolumeRoot(file);
  return root.empty() ? Text() : root + u"qxmoved";
}

std::string LogHeaderLines(TextView title, int32_t language, TextView install_folder) {
  std::string out;
  AppendLine(out, u"[QXUninst]");
  AppendLine(out, u"30000");
  AppendLine(out, title);
  AppendLine(out, DecimalText(language));
  AppendLine(out, install_folder);
  return out;
}

std::string LogEntryLines(int kind, TextView payload) {
  std::string out;
  const TextView tag = LogTag(kind);
  if (!tag.empty()) AppendLine(out, tag);
  AppendLine(out, payload);
  return out;
}

}  // namespace qx::core
