// The replay planner's platform half: facts about paths gathered with Win32
// calls, each once; the removal operations; and where each outcome ends, in
// the run record and the launcher's callback. One lives for one phase.
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

class WinReplaySystem : public core::ReplaySystem {
 public:
  // |own| holds the uninstaller and its log (none on the installer side).
  WinReplaySystem(ReplayCallback callback, const OwnFile* own, size_t own_count);

  bool IsUninstallerOrItsLog(const core::Text& path) override;
  bool PassesThroughLink(const core::Text& path) override;
  bool IsFile(const core::Text& path) override;
  std::vector<size_t> NamesLeft(const std::vector<const core::Text*>& paths) override;
  core::Text KeyOf(const core::Text& path) override;
  void VisitChildren(const core::Text& folder, ChildVisitor& visit) override;
  bool ReleaseSharedFile(const core::Text& path) override;
  void Unregister(const core::Text& path) override;
  core::OpResult DeleteFile(const core::Text& path) override;
  core::OpResult RemoveFolder(const core::Text& path) override;
  core::Text MoveAside(const core::Text& path) override;
  std::vector<core::Text> AsideFolders() override;
  bool HasCallback() override;
  bool Report(const core::Text& path, bool gone) override;
  core::OpResult DeleteRegistryKey(const core::Text& key) override;
  core::OpResult DeleteRegistryValue(const core::Text& key, const core::Text& name) override;
  core::OpResult DeleteIniKey(const core::Text& file, const core::Text& section, const core::Text& key) override;
  void Conclude(core::LogEntryKind kind, const core::Text& path, const core::EntryOutcome& outcome) override;

 private:
  ReplayCallback callback_;
  const OwnFile* own_;
  size_t own_count_;
  // Entries come folder by folder: the last folder looked at for links.
  core::Text link_folder_;
  bool link_answer_ = false;
  bool link_known_ = false;
  // Values come key by key: the last key's text, and its handle or the error
  // that refused it.
  bool value_key_known_ = false;
  core::Text value_key_;
  UniqueKey value_key_handle_;
  LONG value_key_error_ = ERROR_FILE_NOT_FOUND;
  bool value_key_unnamable_ = false;
};

// The uninstaller's own two files, gathered before the replay removes
// anything: |uninstaller| and the log beside it.
void IdentifyOwnFiles(core::TextView uninstaller, OwnFile (&own)[2]);

}  // namespace qx::engine
