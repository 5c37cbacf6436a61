#include "engine/core/replay_plan.h"

#include <utility>

namespace qx::core {

namespace {

// An entry's outcome and status after the platform's removal, when nothing
// more is known; each phase refines the statuses it knows more about.
EntryOutcome Removed(LogEntryKind kind, std::span<const Text> fields, ReplaySystem& system, Status& status) {
  EntryOutcome out;
  out.error = system.actions.Remove(kind, fields);
  status = StatusOf(kind, out.error);
  out.outcome = status == Status::kDone      ? Outcome::kRemoved
                : status == Status::kMissing ? Outcome::kNotThere
                                             : Outcome::kFailed;
  if (status == Status::kBadPath) out.cause = Cause::kNoRegistryPath;
  return out;
}

bool IsShared(EntryCode code) { return code == EntryCode::kShared || code == EntryCode::kSharedSelfRegistered; }
bool IsRegistered(EntryCode code) {
  return code == EntryCode::kSelfRegistered || code == EntryCode::kSharedSelfRegistered;
}

// What made an entry wait for the restart, in the record's words.
Text WaitingText(const EntryOutcome& outcome, TextView error_text) {
  switch (outcome.cause) {
    case Cause::kInUse:
    case Cause::kFolderInUse:
      return u"in use (" + Text(error_text) + u")";
    case Cause::kPendingDelete:
      return u"deleted, but another program still holds it open";
    default:
      return u"not deleted (" + Text(error_text) + u")";
  }
}

Text MovedText(const EntryOutcome& outcome) {
  return outcome.moved_to.empty() ? Text() : u"; moved aside to " + outcome.moved_to;
}

// Whether |key| is a registry key below |parent|.
bool IsBelow(TextView key, TextView parent) {
  return key.size() > parent.size() && key[parent.size()] == u'\\' && StartsWithNoCase(key, parent);
}

}  // namespace

Status StatusOf(LogEntryKind kind, uint32_t error) {
  namespace e = platform_error;
  const bool registry = kind == kLogRegistryKey || kind == kLogRegistryValue;
  switch (error) {
    case e::kNone:
      return Status::kDone;
    case e::kFileNotFound:
    case e::kPathNotFound:
    case e::kNameTooLong:
      return Status::kMissing;
    case e::kBadPathName:
      if (registry) return Status::kBadPath;
      break;
    case e::kIsFolder:
      return kind == kLogFile ? Status::kIsFolder : Status::kFailed;
    case e::kNotEmpty:
      if (kind == kLogFolder || kind == kLogRegistryKey) return Status::kNotEmpty;
      break;
    case e::kSharingViolation:
    case e::kAccessDenied:  // a running program's image, for a file
      if (kind == kLogFile) return Status::kInUse;
      break;
  }
  // An empty folder that stays, whatever the error, is held by someone.
  return kind == kLogFolder ? Status::kInUse : Status::kFailed;
}

bool CountsAsNotRemoved(const EntryOutcome& outcome) {
  return outcome.outcome == Outcome::kFailed || outcome.outcome == Outcome::kKeptNotOurs;
}

bool CountsForRestart(const EntryOutcome& outcome) {
  return (outcome.outcome == Outcome::kMovedAside || outcome.outcome == Outcome::kLeftForRestart) && !outcome.own;
}

Text OutcomeText(const EntryOutcome& outcome, TextView error_text) {
  switch (outcome.outcome) {
    case Outcome::kRemoved:
      return u"removed";
    case Outcome::kNotThere:
      return u"not there";
    case Outcome::kKeptByCounter:
      return u"kept by its shared counter";
    case Outcome::kKeptNotOurs:
      return u"left alone: its path passes through a link or a mount point";
    case Outcome::kKeptHolding:
      if (outcome.cause == Cause::kHoldsNotRemoved) return u"kept: it holds logged items that could not be removed";
      if (outcome.cause == Cause::kHoldsShared) return u"kept: it holds shared files that other programs still use";
      if (outcome.cause == Cause::kContentWaits) return u"kept: what it holds waits for the restart";
      if (outcome.cause == Cause::kAsideFolder) return u"kept: it holds files moved aside, which go at the restart";
      return u"kept: it holds what the log does not record";
    case Outcome::kMovedAside:
    case Outcome::kLeftForRestart:
      return WaitingText(outcome, error_text) + MovedText(outcome) + u", left for the restart";
    case Outcome::kFailed:
      break;
  }
  switch (outcome.cause) {
    case Cause::kFolderAtPath:
      return u"failed: a folder stands at its path";
    case Cause::kNoRegistryPath:
      return u"failed: not a registry path";
    case Cause::kInUse:
    case Cause::kPendingDelete:
    case Cause::kNotDeleted:
    case Cause::kFolderInUse:
      if (outcome.refusal == Refusal::kRemoteVolume) return u"failed: cannot be deleted at restart on a network volume";
      return u"failed: " + WaitingText(outcome, error_text) + MovedText(outcome) + u", not scheduled for restart" +
             (outcome.refusal == Refusal::kOpenFolder ? u": users without rights can change a folder on its path"
                                                      : u"");
    default:
      return u"failed with " + Text(error_text);
  }
}

Text RecordLine(LogEntryKind kind, TextView path, const EntryOutcome& outcome, TextView error_text) {
  const TextView what = kind == kLogFile            ? u"file"
                        : kind == kLogRegistryKey   ? u"registry key"
                        : kind == kLogRegistryValue ? u"registry value"
                        : kind == kLogIniKey        ? u"INI key"
                                                    : u"folder";
  return Text(what) + u" " + Text(path) + u": " + OutcomeText(outcome, error_text);
}

ReplayPlanner::Standing ReplayPlanner::StandingOf(const EntryOutcome& outcome) {
  switch (outcome.outcome) {
    case Outcome::kLeftForRestart:
      return Standing::kWaits;
    case Outcome::kFailed:
      return outcome.moved_to.empty() ? Standing::kNotRemoved : Standing::kGone;
    case Outcome::kKeptNotOurs:
      return Standing::kNotRemoved;
    case Outcome::kKeptByCounter:
      return Standing::kShared;
    case Outcome::kKeptHolding:
      if (outcome.cause == Cause::kHoldsNotRemoved) return Standing::kNotRemoved;
      if (outcome.cause == Cause::kHoldsShared) return Standing::kShared;
      if (outcome.cause == Cause::kContentWaits) return Standing::kWaits;
      return Standing::kHoldsUnrecorded;
    default:
      return Standing::kGone;
  }
}

void ReplayPlanner::Conclude(LogEntryKind kind, const Text& path, const EntryOutcome& outcome, bool known,
                             ReplaySystem& system) {
  not_removed_ = not_removed_ || CountsAsNotRemoved(outcome);
  restart_needed_ = restart_needed_ || CountsForRestart(outcome);
  // Only what stays is kept, for the folders that hold it.
  const Standing standing = StandingOf(outcome);
  if (kind != kLogRegistryKey && (known || standing != Standing::kGone))
    standing_.Set(system.facts.KeyOf(path), standing);
  system.actions.Record(kind, path, outcome);
}

void ReplayPlanner::ConcludeFile(const Text& path, EntryOutcome& outcome, bool known, ReplaySystem& system) {
  // What stays as the installation's, behind a link, or where nothing may
  // wait for the restart is nobody's to schedule: the callback does not
  // hear of it.
  const bool refused = outcome.refusal == Refusal::kRemoteVolume || outcome.refusal == Refusal::kOpenFolder;
  if (outcome.outcome != Outcome::kKeptByCounter && outcome.outcome != Outcome::kKeptNotOurs && !refused) {
    const bool gone = outcome.outcome == Outcome::kRemoved || outcome.outcome == Outcome::kNotThere;
    const bool waits = outcome.outcome == Outcome::kMovedAside || outcome.outcome == Outcome::kLeftForRestart;
    if (!system.actions.Report(outcome.moved_to.empty() ? path : outcome.moved_to, gone) && waits) {
      outcome.outcome = Outcome::kFailed;
      outcome.refusal = Refusal::kNoScheduling;
    }
  }
  Conclude(kLogFile, path, outcome, known, system);
}

EntryOutcome ReplayPlanner::RemoveFile(const Text& path, const EntryFacts& facts, EntryCode code,
                                       ReplaySystem& system) {
  EntryOutcome out;
  out.own = facts.own;
  // Behind a link the file is not ours; its counter is left alone too.
  if (facts.behind_link) {
    out.outcome = Outcome::kKeptNotOurs;
    return out;
  }
  if (IsShared(code) && !system.actions.ReleaseSharedFile(path)) {
    out.outcome = Outcome::kKeptByCounter;
    return out;
  }
  if (IsRegistered(code) && facts.is_file) system.actions.Unregister(path);
  Status status;
  out = Removed(kLogFile, std::span<const Text>(&path, 1), system, status);
  out.own = facts.own;
  if (status == Status::kIsFolder) {
    out.cause = Cause::kFolderAtPath;
  } else if (status == Status::kInUse || (status == Status::kFailed && facts.is_file)) {
    // A file that is still there waits for the restart, whatever kept it.
    out.cause = status == Status::kInUse ? Cause::kInUse : Cause::kNotDeleted;
    WaitForRestart(path, facts.remote, out, system);
  }
  return out;
}

void ReplayPlanner::WaitForRestart(const Text& path, bool remote, EntryOutcome& outcome, ReplaySystem& system) {
  outcome.outcome = Outcome::kFailed;
  outcome.refusal = !system.scheduling ? Refusal::kNoScheduling
                    : remote           ? Refusal::kRemoteVolume
                                       : Refusal::kNone;
  if (outcome.refusal != Refusal::kNone) return;
  // Moved aside, it no longer keeps its folder.
  if (outcome.cause != Cause::kNotDeleted) outcome.moved_to = system.actions.MoveAside(path);
  if (!outcome.moved_to.empty()) {
    const TextView folder = TextView(outcome.moved_to).substr(0, outcome.moved_to.find_last_of(u'\\'));
    bool known = false;
    for (const Text& aside : aside_folders_) known = known || aside == folder;
    if (!known) aside_folders_.emplace_back(folder);
    outcome.outcome = Outcome::kMovedAside;
  } else if (system.facts.ClosedToUsers(path)) {
    outcome.outcome = Outcome::kLeftForRestart;
  } else {
    outcome.refusal = Refusal::kOpenFolder;
  }
}

void ReplayPlanner::ConcludeFolderFiles(const EntrySet& entries, FolderFiles& files, bool own,
                                        ReplaySystem& system) {
  // One look at the folder for all its files that the delete reported gone:
  // a name still there is a delete that waits for another process, as good
  // as a file in use.
  std::vector<const Text*> deleted;
  for (size_t i = 0, other = 0; i < files.places.size(); ++i) {
    if (other < files.others.size() && files.others[other].first == i)
      ++other;
    else
      deleted.push_back(&entries[files.places[i]].key);
  }
  const std::vector<size_t> left = deleted.empty() ? std::vector<size_t>() : system.facts.NamesLeft(deleted);
  // Concluded in the log's order.
  for (size_t i = 0, other = 0, at = 0, next_left = 0; i < files.places.size(); ++i) {
    const Text& path = entries[files.places[i]].key;
    if (other < files.others.size() && files.others[other].first == i) {
      ConcludeFile(path, files.others[other++].second, own, system);
      continue;
    }
    EntryOutcome out;
    out.own = own;
    out.outcome = Outcome::kRemoved;
    if (next_left < left.size() && left[next_left] == at) {
      ++next_left;
      out.cause = Cause::kPendingDelete;
      WaitForRestart(path, files.remote, out, system);
    }
    ++at;
    ConcludeFile(path, out, own, system);
  }
  files.places.clear();
  files.others.clear();
}

void ReplayPlanner::RemoveFiles(const EntrySet& entries, bool own, EntrySet* own_files, ReplaySystem& system) {
  FolderFiles files;
  TextView files_folder;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Text& path = entries[i].key;
    const EntryFacts facts = system.facts.FactsOf(path);
    if (own_files && facts.own) {
      own_files->Set(path, entries[i].value);
      continue;
    }
    const size_t cut = path.find_last_of(u"\\/");
    const TextView folder = TextView(path).substr(0, cut == Text::npos ? 0 : cut);
    if (!files.places.empty() && folder != files_folder) ConcludeFolderFiles(entries, files, own, system);
    files_folder = folder;
    files.remote = facts.remote;
    EntryOutcome out = RemoveFile(path, facts, entries[i].value, system);
    if (out.outcome != Outcome::kRemoved) files.others.emplace_back(files.places.size(), std::move(out));
    files.places.push_back(i);
  }
  if (!files.places.empty()) ConcludeFolderFiles(entries, files, own, system);
}

// What a folder that could not be removed holds, by the standing of each
// thing in it; the first thing the log does not know settles it.
class ReplayPlanner::Holdings : public ReplayFacts::ChildVisitor {
 public:
  explicit Holdings(const KeyedTable<Standing>& standing) : standing_(standing) {}
  bool Visit(const Text& key) override {
    const Standing* standing = standing_.Find(key);
    switch (standing ? *standing : Standing::kHoldsUnrecorded) {
      case Standing::kHoldsUnrecorded:
        unrecorded = true;
        return false;
      case Standing::kWaits:
        waits = true;
        break;
      case Standing::kShared:
        shared = true;
        break;
      case Standing::kNotRemoved:
      case Standing::kGone:  // gone by its outcome, yet still there
        not_removed = true;
        break;
    }
    return true;
  }

  bool unrecorded = false, not_removed = false, shared = false, waits = false;

 private:
  const KeyedTable<Standing>& standing_;
};

void ReplayPlanner::RemoveFolder(const Text& folder, ReplaySystem& system) {
  if (system.facts.FactsOf(folder).behind_link) {
    EntryOutcome out;
    out.outcome = Outcome::kKeptNotOurs;
    Conclude(kLogFolder, folder, out, false, system);
    return;
  }
  Status status;
  EntryOutcome out = Removed(kLogFolder, std::span<const Text>(&folder, 1), system, status);
  if (status == Status::kInUse) {
    // Folders are not the callback's: nothing schedules it.
    out.cause = Cause::kFolderInUse;
  } else if (status == Status::kNotEmpty) {
    Holdings holds(standing_);
    system.facts.VisitChildren(folder, holds);
    out.outcome = Outcome::kKeptHolding;
    if (holds.unrecorded || !(holds.not_removed || holds.shared || holds.waits))
      out.cause = Cause::kHoldsUnrecorded;
    else if (holds.not_removed)
      out.cause = Cause::kHoldsNotRemoved;
    else if (holds.shared)
      out.cause = Cause::kHoldsShared;
    else
      out.cause = Cause::kContentWaits;  // its content has asked for the restart
  }
  Conclude(kLogFolder, folder, out, false, system);
}

void ReplayPlanner::FilePhase(const EntrySet& entries, ReplaySystem& system) {
  EntrySet own_files;
  aside_folders_.clear();
  RemoveFiles(entries, false, &own_files, system);
  // The two files that let an interrupted run be started again go last.
  RemoveFiles(own_files, true, nullptr, system);
  // An aside folder is no logged entry: it counts for neither flag.
  for (const Text& folder : aside_folders_) {
    EntryOutcome out;
    out.outcome = Outcome::kKeptHolding;
    out.cause = Cause::kAsideFolder;
    system.actions.Record(kLogFolder, folder, out);
  }
}

void ReplayPlanner::FolderPhase(const EntrySet& entries, ReplaySystem& system) {
  std::vector<Text> folders;
  folders.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) folders.push_back(entries[i].key);
  // Deepest first: each folder's content has had its outcome before it.
  SortPathsForRemoval(folders);
  for (const Text& folder : folders) RemoveFolder(folder, system);
}

void ReplayPlanner::RegistryKeyPhase(const EntrySet& entries, ReplaySystem& system) {
  std::vector<Text> keys;
  keys.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) keys.push_back(entries[i].key);
  // Single-key deletes, each key before the keys that lead to it: a tree
  // logged parent first goes whole, and a key that still holds something
  // unlogged stays.
  SortPathsForRemoval(keys);
  kept_keys_.clear();
  for (const Text& key : keys) {
    Status status;
    EntryOutcome out = Removed(kLogRegistryKey, std::span<const Text>(&key, 1), system, status);
    if (status == Status::kNotEmpty) {
      out.outcome = Outcome::kKeptHolding;
      bool holds_kept = false;
      for (const Text& kept : kept_keys_) holds_kept = holds_kept || IsBelow(kept, key);
      out.cause = holds_kept ? Cause::kHoldsNotRemoved : Cause::kHoldsUnrecorded;
    }
    if (out.outcome != Outcome::kRemoved && out.outcome != Outcome::kNotThere) kept_keys_.push_back(key);
    Conclude(kLogRegistryKey, key, out, false, system);
  }
}

void ReplayPlanner::RegistryValuePhase(const EntrySet& entries, ReplaySystem& system) {
  for (size_t i = 0; i < entries.size(); ++i) {
    std::vector<Text> fields = SplitQuotedFields(entries[i].key);
    if (fields.empty()) continue;
    fields.resize(2);  // no name: the key's default value
    Status status;
    Conclude(kLogRegistryValue, entries[i].key, Removed(kLogRegistryValue, fields, system, status), false, system);
  }
}

void ReplayPlanner::IniKeyPhase(const EntrySet& entries, ReplaySystem& system) {
  for (size_t i = 0; i < entries.size(); ++i) {
    std::vector<Text> fields = SplitQuotedFields(entries[i].key);
    if (fields.size() < 3) continue;
    fields.resize(3);
    Status status;
    Conclude(kLogIniKey, entries[i].key, Removed(kLogIniKey, fields, system, status), false, system);
  }
}

}  // namespace qx::core
