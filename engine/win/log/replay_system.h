// The replay planner's platform half: facts about paths gathered with Win32
// calls, the removal operations, and where each outcome ends, in the run
// record and the launcher's callback. One of each lives for one phase.
#pragma once

#include "common/file_identity.h"
#include "common/unique_resource.h"
#include "engine/core/replay_plan.h"
#include "engine/include/qxcore.h"

namespace qx::engine {

// The installed uninstaller or its log, known by its file: its names for a
// first look at a path's last component, then its identity or full long
// path for the answer.
struct OwnFile {
  core::Text long_path;
  core::Text names[2];  // long and short file names
  FileIdentity identity;
  bool identified = false;
};

// What the planner asks, read with Win32 calls. Entries come folder by
// folder, so the folder's answers are kept for the next entry.
class WinReplayFacts final : public core::ReplayFacts {
 public:
  // |own| holds the uninstaller and its log (none on the installer side).
  WinReplayFacts(const OwnFile* own, size_t own_count) : own_(own), own_count_(own_count) {}

  core::EntryFacts FactsOf(const core::Text& path) override;
  core::Text KeyOf(const core::Text& path) override;
  bool ClosedToUsers(const core::Text& path) override;
  std::vector<size_t> NamesLeft(const std::vector<const core::Text*>& paths) override;
  void VisitChildren(const core::Text& folder, ChildVisitor& visit) override;

 private:
  bool IsUninstallerOrItsLog(const core::Text& path) const;

  const OwnFile* own_;
  size_t own_count_;
  core::Text folder_;
  bool folder_known_ = false;
  bool folder_linked_ = false;
  bool folder_remote_ = false;
};

// What the planner has done, and where each outcome ends: the launcher's
// callback and the run record.
class WinReplayActions final : public core::ReplayActions {
 public:
  explicit WinReplayActions(ReplayCallback callback) : callback_(callback) {}

  bool ReleaseSharedFile(const core::Text& path) override;
  void Unregister(const core::Text& path) override;
  uint32_t Remove(core::LogEntryKind kind, std::span<const core::Text> fields) override;
  core::Text MoveAside(const core::Text& path) override;
  bool Report(const core::Text& path, bool gone) override;
  void Record(core::LogEntryKind kind, const core::Text& path, const core::EntryOutcome& outcome) override;

 private:
  DWORD RemoveValue(const core::Text& key, const core::Text& name);

  ReplayCallback callback_;
  // Values come key by key: the last key's text, and its handle or the error
  // that refused it.
  bool value_key_known_ = false;
  core::Text value_key_;
  UniqueKey value_key_handle_;
  LONG value_key_error_ = ERROR_FILE_NOT_FOUND;
};

// The uninstaller's own two files, gathered before the replay removes
// anything: |uninstaller| and the log beside it.
void IdentifyOwnFiles(core::TextView uninstaller, OwnFile (&own)[2]);

}  // namespace qx::engine
