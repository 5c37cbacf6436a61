#include "engine/win/log/uninstall_log.h"

#include <windows.h>

#include <string>

#include "engine/win/log/log_state.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/log/replay_system.h"
#include "engine/core/uninstall_log_format.h"
#include "engine/core/uninstall_start_rules.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

using core::Text;
using core::TextView;

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

// Writes an entry whose text is already expanded; false when the write
// failed (a full disk), true too for a file that is not to be logged.
bool WriteEntry(int kind, TextView payload) {
  EngineState& engine = Engine();
  if (kind == core::kLogFile) {
    const core::FileProperty* property =
        engine.file_properties.Find(core::RelativeToInstallFolder(payload, Expand(u"%DESTPATH%")));
    if (property && property->not_logged) return true;
  }
  return WriteAll(Engine().log.get(), core::LogEntryLines(kind, payload));
}

// Appends the old log's lines, trimmed, to the end of the temporary log.
bool AppendOldLog(const wchar_t* temporary, const wchar_t* old) {
  UniqueFile source(
      CreateFileW(old, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  UniqueFile target(CreateFileW(temporary, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
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
  LogState& family = LogFamily();
  if (!Engine().log) return -1;
  if (phase < contract::kReplayFiles || phase > contract::kReplayIniKeys) return 0;
  static constexpr int kTagOfPhase[] = {core::kLogFile, core::kLogFolder, core::kLogRegistryKey,
                                        core::kLogRegistryValue, core::kLogIniKey};
  FileSource source(Engine().log.get());
  core::BufferedLineReader log(source);
  core::EntrySet entries;
  core::CollectLogEntries(log, kTagOfPhase[phase], entries);
  // Known before anything is removed; none on the installer side.
  if (!family.own_files_known && !Engine().installed_uninstaller.empty()) {
    IdentifyOwnFiles(Engine().installed_uninstaller, family.own_files);
    family.own_files_known = true;
  }
  WinReplayFacts facts(family.own_files, family.own_files_known ? 2 : 0);
  WinReplayActions actions(callback);
  core::ReplaySystem system{facts, actions, callback != nullptr};
  core::ReplayPlanner& planner = family.planner;
  switch (phase) {
    case contract::kReplayFiles:
      planner.FilePhase(entries, system);
      break;
    case contract::kReplayFolders:
      planner.FolderPhase(entries, system);
      break;
    case contract::kReplayRegistryKeys:
      planner.RegistryKeyPhase(entries, system);
      break;
    case contract::kReplayRegistryValues:
      planner.RegistryValuePhase(entries, system);
      break;
    case contract::kReplayIniKeys:
      planner.IniKeyPhase(entries, system);
      break;
  }
  EngineState& engine = Engine();
  if (planner.restart_needed()) engine.text.SetVariable(NameOf(contract::kRestartNeeded), u"1");
  if (planner.not_removed()) engine.text.SetVariable(NameOf(contract::kNotRemoved), u"1");
  return 0;
}

int AddLogEntry(int kind, TextView text) {
  if (!Engine().log) return -1;
  return WriteEntry(kind, Expand(text)) ? 0 : -1;
}

int BeginLog() {
  EngineState& engine = Engine();
  Text path;
  if (!CreateTemporaryFile(WideOf(Expand(u"%TMP%")), L"qxu", path)) return -1;
  Engine().log.reset(CreateFileW(WideOf(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!Engine().log) {
    DeleteFileW(WideOf(path));
    return -1;
  }
  const std::string header = core::LogHeaderLines(Expand(ReferenceOf(contract::kAppTitle)),
                                                  engine.text.current_language(), Expand(u"%DESTPATH%"));
  if (!WriteAll(Engine().log.get(), header)) {
    Engine().log.reset();
    DeleteFileW(WideOf(path));
    return -1;
  }
  engine.text.SetVariableRaw(u"TMPLOG", path);
  return 0;
}

int FinishLog() {
  // Without a log there is nothing to install, and an older log beside the
  // uninstaller must not be deleted for it.
  if (!Engine().log) return -4;
  const Text program = Expand(u"%UNINSTFNAME%");
  const core::Text source = RuntimeFilePath(u"qxremove.dat");
  if (!CopyFileW(WideOf(source), WideOf(program), FALSE)) return -3;

  const Text log = core::LogPathFor(program);
  // A log without these two entries would leave the uninstaller behind; the
  // log stays open, so the installer can still abandon it.
  if (!WriteEntry(core::kLogFile, program) || !WriteEntry(core::kLogFile, log)) return -4;
  Engine().log.reset();

  const Text temporary = Expand(u"%TMPLOG%");
  if (IsFileWithContent(WideOf(log)) && Expand(u"%QXUNINSTADD%") != u"1") DeleteFileW(WideOf(log));
  if (IsFileWithContent(WideOf(log)) && !AppendOldLog(WideOf(temporary), WideOf(log))) return -4;
  if (!CopyFileW(WideOf(temporary), WideOf(log), FALSE)) return -2;
  if (!CopyFileW(WideOf(source), WideOf(program), FALSE)) return -1;
  DeleteFileW(WideOf(temporary));
  return 0;
}

int AbandonLog() {
  if (Engine().log) {
    Engine().log.reset();
    DeleteFileW(WideOf(Expand(u"%TMPLOG%")));
  }
  return 0;
}

}  // namespace qx::engine
