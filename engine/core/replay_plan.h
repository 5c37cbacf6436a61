// The replay's decisions, free of any platform call. Each entry of each
// phase gets one outcome, decided once from facts that the platform gathers
// through ReplaySystem and carried out through it; the record line, the
// restart flag, the callback and the not-removed flag all follow from that
// one outcome.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/core/keyed_table.h"
#include "engine/core/text.h"
#include "engine/core/uninstall_log_format.h"

namespace qx::core {

enum class Outcome : uint8_t {
  kRemoved,
  kNotThere,
  kKeptByCounter,   // a shared file that other installations still use
  kKeptNotOurs,     // behind a link or a mount point: not the installation's
  kKeptHolding,     // a folder or key that holds something that stays (cause)
  kMovedAside,      // in use: renamed into an aside folder; goes at the restart
  kLeftForRestart,  // a file still there, reported to the launcher to go at the restart
  kFailed,
};

enum class Cause : uint8_t {
  kNone,
  kInUse,            // another process holds it (the error says how)
  kPendingDelete,    // deleted, but another process still holds it open
  kNotDeleted,       // a file the delete refused for another reason
  kFolderInUse,      // an empty folder that cannot be removed now
  kContentWaits,     // a folder whose content waits for the restart
  kFolderAtPath,     // a folder stands where a file was logged
  kHoldsUnrecorded,  // it holds what the log does not record
  kHoldsNotRemoved,  // it holds logged items that could not be removed
  kHoldsShared,      // it holds shared files kept by their counters
  kNoRegistryPath,   // the payload names no registry key
  kAsideFolder,      // a folder this run moved files in use into
};

struct EntryOutcome {
  Outcome outcome = Outcome::kFailed;
  Cause cause = Cause::kNone;
  // The platform's error: why the entry was in use, or why it failed.
  uint32_t error = 0;
  // Where a file moved aside lies now (also when its scheduling failed). A
  // failed file with a waiting cause (in use, ...) is one that nobody
  // scheduled: no callback, or the launcher's scheduling failed.
  Text moved_to;
  // It asks for no restart itself: the installed uninstaller or its log.
  bool own = false;
};

// NOTREMOVED: the entry failed, or was left alone as not ours.
bool CountsAsNotRemoved(const EntryOutcome& outcome);
// RESTARTNEEDED: the entry waits for the restart (the launcher did not say
// that scheduling it failed), and is not the uninstaller's own.
bool CountsForRestart(const EntryOutcome& outcome);

// The record's words: "removed", "in use (<error text>), scheduled for
// restart", ... |error_text| describes outcome.error.
Text OutcomeText(const EntryOutcome& outcome, TextView error_text);
// The record's line: "<what> <path>: <outcome's words>", what being "file",
// "folder", "registry key", "registry value" or "INI key".
Text RecordLine(LogEntryKind kind, TextView path, const EntryOutcome& outcome, TextView error_text);

// What a platform operation came to, in the planner's terms, with the
// platform's own error code.
enum class Status : uint8_t {
  kDone,
  kMissing,   // nothing at the path
  kInUse,     // another process holds it; for a folder: empty, and still there
  kIsFolder,  // a folder where a file was expected
  kNotEmpty,  // a folder or key that still holds something
  kBadPath,   // the text names no registry key (no known root)
  kFailed,
};

struct OpResult {
  Status status = Status::kDone;
  uint32_t error = 0;
};

// The platform's half: facts about paths, the operations, and the two ways
// an outcome leaves the engine (the launcher's callback and the record).
class ReplaySystem {
 public:
  virtual ~ReplaySystem() = default;

  // Whether |path| is the installed uninstaller or its log, on the file itself.
  virtual bool IsUninstallerOrItsLog(const Text& path) = 0;
  // Whether a folder on the way to |path|'s last component is a link or a
  // mount point.
  virtual bool PassesThroughLink(const Text& path) = 0;
  virtual bool IsFile(const Text& path) = 0;
  // After deletes that reported success, of files that share one folder:
  // the places in |paths| of those whose name is still there (a delete that
  // waits until another process lets go of the file), in ascending order.
  virtual std::vector<size_t> NamesLeft(const std::vector<const Text*>& paths) = 0;
  // The name under which the planner keeps what stays of an entry: equal for
  // every spelling of one path.
  virtual Text KeyOf(const Text& path) = 0;
  // Calls |visit| with the key of everything |folder| holds, until it
  // answers false.
  class ChildVisitor {
   public:
    virtual bool Visit(const Text& key) = 0;

   protected:
    ~ChildVisitor() = default;
  };
  virtual void VisitChildren(const Text& folder, ChildVisitor& visit) = 0;

  // Counts one user of a shared file down: true when the file may go.
  virtual bool ReleaseSharedFile(const Text& path) = 0;
  virtual void Unregister(const Text& path) = 0;
  virtual OpResult DeleteFile(const Text& path) = 0;
  virtual OpResult RemoveFolder(const Text& path) = 0;
  // Renames a file in use into an aside folder: its new path, or empty.
  virtual Text MoveAside(const Text& path) = 0;
  // The aside folders that hold files this run moved.
  virtual std::vector<Text> AsideFolders() = 0;
  // Whether a callback is there, to schedule what is not gone.
  virtual bool HasCallback() = 0;
  // Reports a file of the file phase to the callback, if any, once: gone or
  // not. False only when the launcher answered that scheduling |path| for
  // the restart failed.
  virtual bool Report(const Text& path, bool gone) = 0;
  // A registry key (single, without subkeys), a value ("#regval" payload
  // fields), an INI key ("#inikey" fields).
  virtual OpResult DeleteRegistryKey(const Text& key) = 0;
  virtual OpResult DeleteRegistryValue(const Text& key, const Text& name) = 0;
  virtual OpResult DeleteIniKey(const Text& file, const Text& section, const Text& key) = 0;

  // Where every outcome ends: the record line.
  virtual void Conclude(LogEntryKind kind, const Text& path, const EntryOutcome& outcome) = 0;
};

// The replay of one log across its phases, in any order: what stays of the
// entries (for the folders that hold them) and the two flags.
class ReplayPlanner {
 public:
  // The uninstaller and its log go last in it, and the aside folders that
  // hold files of this run are recorded after them.
  void FilePhase(const EntrySet& entries, ReplaySystem& system);
  void FolderPhase(const EntrySet& entries, ReplaySystem& system);
  void RegistryKeyPhase(const EntrySet& entries, ReplaySystem& system);
  void RegistryValuePhase(const EntrySet& entries, ReplaySystem& system);
  void IniKeyPhase(const EntrySet& entries, ReplaySystem& system);

  bool restart_needed() const { return restart_needed_; }
  bool not_removed() const { return not_removed_; }

 private:
  // What stays of a logged file or folder, known by its key.
  enum class Standing : uint8_t { kGone, kWaits, kNotRemoved, kShared, kHoldsUnrecorded };
  class Holdings;

  static Standing StandingOf(const EntryOutcome& outcome);
  // Up to the delete: kRemoved here means that the delete reported success.
  EntryOutcome RemoveFile(const Text& path, EntryCode code, bool own, ReplaySystem& system);
  // The files of one folder so far: their places in the entries, and the
  // outcomes of those the delete did not report gone (few, as a rule), by
  // their index in |places|.
  struct FolderFiles {
    std::vector<size_t> places;
    std::vector<std::pair<size_t, EntryOutcome>> others;
  };
  // Concludes them all, once the names of those reported deleted were
  // checked gone.
  void ConcludeFolderFiles(const EntrySet& entries, FolderFiles& files, bool own, ReplaySystem& system);
  // Every file of |entries| (the uninstaller's own when |own|, else all but
  // those, which land in |own_files|), folder by folder.
  void RemoveFiles(const EntrySet& entries, bool own, EntrySet* own_files, ReplaySystem& system);
  // A file that is still there: with a callback to schedule it, moved aside
  // when it is in use, else left where it is; without one, a failure.
  void WaitForRestart(const Text& path, EntryOutcome& outcome, ReplaySystem& system);
  void RemoveFolder(const Text& folder, ReplaySystem& system);
  // The callback's report, then the file's conclusion.
  void ConcludeFile(const Text& path, EntryOutcome& outcome, bool known, ReplaySystem& system);
  // Flags, what stays (|known|: also when it is gone now), then the system's
  // record.
  void Conclude(LogEntryKind kind, const Text& path, const EntryOutcome& outcome, bool known, ReplaySystem& system);

  KeyedTable<Standing> standing_;
  // Registry keys that stay, for the keys that hold them.
  std::vector<Text> kept_keys_;
  bool restart_needed_ = false;
  bool not_removed_ = false;
};

}  // namespace qx::core
