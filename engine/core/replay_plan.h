// The replay's decisions, free of any platform call. Each entry of each
// phase gets one outcome, decided once from facts that the platform gathers
// (ReplayFacts) and carried out through its actions (ReplayActions); the
// record line, the restart flag, the callback and the not-removed flag all
// follow from that one outcome.
#pragma once

#include <cstdint>
#include <span>
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

// Why a file that is still there was not left for the restart.
enum class Refusal : uint8_t {
  kNone,
  kNoScheduling,  // no callback, or the launcher's scheduling failed
  kRemoteVolume,  // the system cannot delete at restart on another machine's volume
  kOpenFolder,    // moved nowhere, and a user without rights could change its folders
};

struct EntryOutcome {
  Outcome outcome = Outcome::kFailed;
  Cause cause = Cause::kNone;
  // The platform's error: why the entry was in use, or why it failed.
  uint32_t error = 0;
  // Where a file moved aside lies now (also when its scheduling failed).
  Text moved_to;
  // For a failed file with a waiting cause (in use, ...).
  Refusal refusal = Refusal::kNone;
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

// What a platform error means for the planner. The platform reports its own
// error codes unchanged; this is the one place that reads them.
enum class Status : uint8_t {
  kDone,
  kMissing,   // nothing at the path, or a path too long to name anything
  kInUse,     // another process holds it; for a folder: empty, and still there
  kIsFolder,  // a folder where a file was expected
  kNotEmpty,  // a folder or key that still holds something
  kBadPath,   // the text names no registry key (no known root)
  kFailed,
};

// The platform's error codes that the planner tells apart (Win32's numbers).
namespace platform_error {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;  // also: a running program's image
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kNotEmpty = 145;      // a folder, or a key with subkeys
inline constexpr uint32_t kBadPathName = 161;   // a registry path without a known root
inline constexpr uint32_t kNameTooLong = 206;   // names nothing that can exist
inline constexpr uint32_t kIsFolder = 267;      // a folder where a file was expected, or a file for a folder
}  // namespace platform_error

// What removing an entry of |kind| came to, from the platform's |error|.
Status StatusOf(LogEntryKind kind, uint32_t error);

// Facts about one logged file or folder, read in one call.
struct EntryFacts {
  bool own = false;          // the installed uninstaller or its log, on the file itself
  bool behind_link = false;  // a folder on the way is a link or a mount point
  bool is_file = false;
  bool remote = false;       // another machine's volume: nothing waits for its restart there
};

// What the planner asks the platform.
class ReplayFacts {
 public:
  virtual EntryFacts FactsOf(const Text& path) = 0;
  // The name under which the planner keeps what stays of an entry: equal for
  // every spelling of one path. Asked only for what stays, as it takes a
  // look at each folder on the way.
  virtual Text KeyOf(const Text& path) = 0;
  // Whether no user without administrator rights can rename, replace or
  // change the access of any folder on the way to |path|: only then may the
  // restart, which runs as SYSTEM, delete it by that path.
  virtual bool ClosedToUsers(const Text& path) = 0;
  // After deletes that reported success, of files that share one folder:
  // the places in |paths| of those whose name is still there (a delete that
  // waits until another process lets go of the file), in ascending order.
  virtual std::vector<size_t> NamesLeft(const std::vector<const Text*>& paths) = 0;
  // Calls |visit| with the key of everything |folder| holds, until it
  // answers false.
  class ChildVisitor {
   public:
    virtual bool Visit(const Text& key) = 0;

   protected:
    ~ChildVisitor() = default;
  };
  virtual void VisitChildren(const Text& folder, ChildVisitor& visit) = 0;

 protected:
  ~ReplayFacts() = default;
};

// What the planner has the platform do, and where each outcome ends.
class ReplayActions {
 public:
  // Counts one user of a shared file down: true when the file may go.
  virtual bool ReleaseSharedFile(const Text& path) = 0;
  // A self-registered library's unregistration; nothing for what is no file.
  virtual void Unregister(const Text& path) = 0;
  // Removes one entry: a file, an empty folder, a single registry key (its
  // path), a registry value (key, name) or an INI key (file, section, key).
  // The platform's error, platform_error::kNone when it is gone.
  virtual uint32_t Remove(LogEntryKind kind, std::span<const Text> fields) = 0;
  // Renames a file in use into a folder that no user without rights can
  // change: its new path, or empty.
  virtual Text MoveAside(const Text& path) = 0;
  // Reports a file of the file phase to the launcher's callback: gone or
  // not. False only when the launcher answered that scheduling |path| for
  // the restart failed.
  virtual bool Report(const Text& path, bool gone) = 0;
  // The record line of an entry, or of an aside folder.
  virtual void Record(LogEntryKind kind, const Text& path, const EntryOutcome& outcome) = 0;

 protected:
  ~ReplayActions() = default;
};

// One phase's view of the platform; |scheduling| when a callback is there
// to schedule what is not gone.
struct ReplaySystem {
  ReplayFacts& facts;
  ReplayActions& actions;
  bool scheduling;
};

// The replay of one log across its phases, in any order: what stays of the
// entries (for the folders that hold them) and the two flags.
class ReplayPlanner {
 public:
  // The uninstaller and its log go last in it, and the aside folders that
  // hold files of this phase are recorded after them.
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
  EntryOutcome RemoveFile(const Text& path, const EntryFacts& facts, EntryCode code, ReplaySystem& system);
  // The files of one folder so far: their places in the entries, and the
  // outcomes of those the delete did not report gone (few, as a rule), by
  // their index in |places|.
  struct FolderFiles {
    std::vector<size_t> places;
    std::vector<std::pair<size_t, EntryOutcome>> others;
    bool remote = false;  // the folder's volume
  };
  // Concludes them all, once the names of those reported deleted were
  // checked gone.
  void ConcludeFolderFiles(const EntrySet& entries, FolderFiles& files, bool own, ReplaySystem& system);
  // Every file of |entries| (the uninstaller's own when |own|, else all but
  // those, which land in |own_files|), folder by folder.
  void RemoveFiles(const EntrySet& entries, bool own, EntrySet* own_files, ReplaySystem& system);
  // A file that is still there: moved aside when it is in use, else left
  // where it is if its folders are closed to users; either only where the
  // restart can act and a callback schedules it. Otherwise a failure.
  void WaitForRestart(const Text& path, bool remote, EntryOutcome& outcome, ReplaySystem& system);
  void RemoveFolder(const Text& folder, ReplaySystem& system);
  // The callback's report, then the file's conclusion.
  void ConcludeFile(const Text& path, EntryOutcome& outcome, bool known, ReplaySystem& system);
  // Flags, what stays (|known|: also when it is gone now), then the record.
  void Conclude(LogEntryKind kind, const Text& path, const EntryOutcome& outcome, bool known, ReplaySystem& system);

  KeyedTable<Standing> standing_;
  // The folders this phase moved files into, each once.
  std::vector<Text> aside_folders_;
  // Registry keys that stay, for the keys that hold them.
  std::vector<Text> kept_keys_;
  bool restart_needed_ = false;
  bool not_removed_ = false;
};

}  // namespace qx::core
