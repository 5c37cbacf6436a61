#include "engine/win/log/uninstall_log.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/win/log/log_state.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/file_io.h"
#include "common/path_links.h"
#include "engine/win/log/removal.h"
#include "engine/win/log/run_record.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/core/uninstall_start_rules.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

using core::EntryCode;
using core::Text;
using core::TextView;

constexpr int kUnregisterLimit = 3000;
// Appended lines are written in blocks of about this size.
constexpr size_t kWriteBlock = size_t(1) << 20;

class FileSource : public core::ByteSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}
  bool Rewind() override {
    LARGE_INTEGER start{};
    return SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) != 0;
  }
  size_t Read(char* buffer, size_t size) override {
    DWORD got = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    return ReadFile(file_, buffer, want, &got, nullptr) ? got : 0;
  }

 private:
  HANDLE file_;
};

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Another process holds the file, or an empty folder: a restart finishes
// the work. The installed uninstaller, mapped by a first stage that waits,
// is the uninstaller's own and does not count.
void NoteLeftForRestart(const Text& path) {
  EngineState& engine = Engine();
  if (!core::EqualNoCase(path, LogFamily().installed_uninstaller))
    engine.text.SetVariable(NameOf(contract::kRestartNeeded), u"1");
}

bool IsInUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

Text FileOutcome(DWORD error, const std::wstring& aside) {
  if (error == ERROR_SUCCESS) return u"removed";
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return u"not there";
  if (!aside.empty()) return u"moved aside to " + FromWide(aside.c_str()) + u", scheduled for restart";
  if (IsInUse(error)) return u"in use, scheduled for restart";
  return FailureText(error);
}

void RemoveFile(const Text& path, EntryCode code, ReplayCallback callback) {
  const bool shared = code == EntryCode::kShared || code == EntryCode::kSharedSelfRegistered;
  const bool registered = code == EntryCode::kSelfRegistered || code == EntryCode::kSharedSelfRegistered;
  std::wstring wide = ToWide(path);
  DWORD error = ERROR_FILE_NOT_FOUND;
  std::wstring aside;
  // A path through a link is left alone, its counter included.
  if (PassesThroughLink(wide.c_str())) {
    RecordOutcome(u"file", path, u"left alone: its path passes through a link");
  } else {
    if (shared && !ReleaseSharedFile(path)) {
      RecordOutcome(u"file", path, u"kept by its shared counter");
      return;
    }
    // A plain delete fails on a missing file or a folder by itself; only an
    // unregistration needs to know first that the file is there.
    if (!registered) {
      error = DeleteFileEntry(wide);
    } else if (IsFile(wide)) {
      RegisterServer(Expand(path), false, kUnregisterLimit);
      error = DeleteFileEntry(wide);
    }
    if (IsInUse(error)) {
      // The moved file is the one left for the restart; its folder can go.
      aside = MoveAside(wide, error);
      if (!aside.empty()) wide = aside;
      NoteLeftForRestart(path);
    }
    RecordOutcome(u"file", path, FileOutcome(error, aside));
  }
  if (callback) callback(core::kLogFile, wide.c_str(), error == ERROR_SUCCESS ? 1 : 0);
}

// The installed uninstaller and its log wait for the end of the replay: a run
// that is ended halfway leaves both, and the next run finishes the job.
void RemoveFiles(const core::EntrySet& entries, ReplayCallback callback) {
  LogFamily().deferred_files = core::EntrySet();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (core::IsUninstallerOrItsLog(entries[i].key, LogFamily().installed_uninstaller))
      LogFamily().deferred_files.Set(entries[i].key, entries[i].value);
    else
      RemoveFile(entries[i].key, entries[i].value, callback);
  }
}

std::vector<Text> ExistingFolders(const core::EntrySet& entries) {
  std::vector<Text> folders;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::wstring wide = ToWide(entries[i].key);
    if (IsFolder(wide) && !PassesThroughLink(wide.c_str())) folders.push_back(entries[i].key);
  }
  return folders;
}

// An empty folder that is in use comes back as not deleted (kind 1).
void RemoveFolders(std::vector<Text> folders, ReplayCallback callback) {
  core::SortPathsForRemoval(folders);
  for (const Text& folder : folders) {
    const std::wstring wide = ToWide(folder);
    if (RemoveFolderEntry(wide)) {
      RecordOutcome(u"folder", folder, IsFolder(wide) ? u"kept: it holds what the log does not record" : u"removed");
      continue;
    }
    NoteLeftForRestart(folder);
    RecordOutcome(u"folder", folder, u"in use, scheduled for restart");
    if (callback) callback(core::kLogFolder, wide.c_str(), 0);
  }
}

// After the last phase: the deferred files, then the logged folders that
// held them, which the folder phase had to leave.
void RemoveDeferredFiles(const core::EntrySet& logged_folders, ReplayCallback callback) {
  const core::EntrySet files = std::exchange(LogFamily().deferred_files, core::EntrySet());
  if (files.size() == 0) return;
  std::vector<Text> paths;
  for (size_t i = 0; i < files.size(); ++i) {
    RemoveFile(files[i].key, files[i].value, callback);
    paths.push_back(files[i].key);
  }
  RemoveFolders(core::FoldersHolding(ExistingFolders(logged_folders), paths), callback);
}

// Single-key deletes, each key before the keys that lead to it: a tree logged
// parent first goes whole, and a key that still holds something unlogged stays.
void DeleteRegistryKeys(const core::EntrySet& entries) {
  std::vector<Text> keys;
  for (size_t i = 0; i < entries.size(); ++i) keys.push_back(entries[i].key);
  core::SortPathsForRemoval(keys);
  for (const Text& key : keys)
    RecordOutcome(u"registry key", key, DeleteRegistryKey(key) ? u"removed" : u"not removed: not there, or not empty");
}

void DeleteValues(const core::EntrySet& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::vector<Text> fields = core::SplitQuotedFields(entries[i].key);
    if (fields.empty()) continue;
    const bool removed =
        DeleteRegistryValue(Expand(fields[0]), Expand(fields.size() > 1 ? TextView(fields[1]) : TextView()));
    RecordOutcome(u"registry value", entries[i].key, removed ? u"removed" : u"not there");
  }
}

void DeleteIniKeys(const core::EntrySet& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::vector<Text> fields = core::SplitQuotedFields(entries[i].key);
    if (fields.size() < 3) continue;
    DeleteIniKey(fields[0], fields[1], fields[2]);
    RecordOutcome(u"INI key", entries[i].key, u"removed");
  }
}

// Writes an entry whose text is already expanded; false when the write
// failed (a full disk), true too for a file that is not to be logged.
bool WriteEntry(int kind, TextView payload) {
  EngineState& engine = Engine();
  if (kind == core::kLogFile) {
    const core::FileProperty* property =
        engine.file_properties.Find(core::RelativeToInstallFolder(payload, Expand(u"%DESTPATH%")));
    if (property && property->not_logged) return true;
  }
  return WriteAll(LogFamily().log.get(), core::LogEntryLines(kind, payload));
}

// Appends the old log's lines, trimmed, to the end of the temporary log.
bool AppendOldLog(const std::wstring& temporary, const std::wstring& old) {
  UniqueFile source(
      CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  UniqueFile target(CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source || !target) return false;
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(target.get(), zero, nullptr, FILE_END)) return false;
  FileSource old_lines(source.get());
  core::BufferedLineReader reader(old_lines);
  std::string block;
  std::string_view line;
  while (reader.Next(line)) {
    block.append(core::TrimSpaces(line));
    block.append("\r\n");
    if (block.size() >= kWriteBlock) {
      if (!WriteAll(target.get(), block)) return false;
      block.clear();
    }
  }
  return WriteAll(target.get(), block);
}

}  // namespace

LogState& LogFamily() {
  // From the library's load to its unload.
  static LogState state;
  return state;
}

int RunReplayPhase(int phase, ReplayCallback callback) {
  if (!LogFamily().log) return -1;
  if (phase < kReplayFiles || phase > kReplayIniKeys) return 0;
  static constexpr int kTagOfPhase[] = {core::kLogFile, core::kLogFolder, core::kLogRegistryKey,
                                        core::kLogRegistryValue, core::kLogIniKey};
  FileSource source(LogFamily().log.get());
  core::BufferedLineReader log(source);
  core::EntrySet entries;
  core::CollectLogEntries(log, kTagOfPhase[phase], entries);
  switch (phase) {
    case kReplayFiles:
      RemoveFiles(entries, callback);
      break;
    case kReplayFolders:
      RemoveFolders(ExistingFolders(entries), callback);
      break;
    case kReplayRegistryKeys:
      DeleteRegistryKeys(entries);
      break;
    case kReplayRegistryValues:
      DeleteValues(entries);
      break;
    case kReplayIniKeys: {
      DeleteIniKeys(entries);
      core::EntrySet folders;
      if (LogFamily().deferred_files.size() != 0) core::CollectLogEntries(log, core::kLogFolder, folders);
      RemoveDeferredFiles(folders, callback);
      break;
    }
  }
  return 0;
}

int AddLogEntry(int kind, TextView text) {
  if (!LogFamily().log) return -1;
  return WriteEntry(kind, Expand(text)) ? 0 : -1;
}

int BeginLog() {
  EngineState& engine = Engine();
  std::wstring path;
  if (!CreateTemporaryFile(ToWide(Expand(u"%TMP%")), L"qxu", path)) return -1;
  LogFamily().log.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!LogFamily().log) {
    DeleteFileW(path.c_str());
    return -1;
  }
  const std::string header = core::LogHeaderLines(Expand(ReferenceOf(contract::kAppTitle)),
                                                  engine.text.current_language(), Expand(u"%DESTPATH%"));
  if (!WriteAll(LogFamily().log.get(), header)) {
    LogFamily().log.reset();
    DeleteFileW(path.c_str());
    return -1;
  }
  engine.text.SetVariableRaw(u"TMPLOG", FromWide(path.c_str()));
  return 0;
}

int FinishLog() {
  // Without a log there is nothing to install, and an older log beside the
  // uninstaller must not be deleted for it.
  if (!LogFamily().log) return -4;
  const Text program = Expand(u"%UNINSTFNAME%");
  const std::wstring program_path = ToWide(program);
  const std::wstring source = ToWide(Expand(u"%QXSFXPATH%\\qxremove.dat"));
  if (!CopyFileW(source.c_str(), program_path.c_str(), FALSE)) return -3;

  const Text log = core::LogPathFor(program);
  // A log without these two entries would leave the uninstaller behind; the
  // log stays open, so the installer can still abandon it.
  if (!WriteEntry(core::kLogFile, program) || !WriteEntry(core::kLogFile, log)) return -4;
  LogFamily().log.reset();

  const std::wstring log_path = ToWide(log);
  const std::wstring temporary = ToWide(Expand(u"%TMPLOG%"));
  if (IsFileWithContent(log_path) && Expand(u"%QXUNINSTADD%") != u"1") DeleteFileW(log_path.c_str());
  if (IsFileWithContent(log_path) && !AppendOldLog(temporary, log_path)) return -4;
  if (!CopyFileW(temporary.c_str(), log_path.c_str(), FALSE)) return -2;
  if (!CopyFileW(source.c_str(), program_path.c_str(), FALSE)) return -1;
  DeleteFileW(temporary.c_str());
  return 0;
}

int AbandonLog() {
  if (LogFamily().log) {
    LogFamily().log.reset();
    DeleteFileW(ToWide(Expand(u"%TMPLOG%")).c_str());
  }
  return 0;
}

}  // namespace qx::engine
