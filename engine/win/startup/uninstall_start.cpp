#include "engine/win/startup/uninstall_start.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "common/file_identity.h"
#include "common/path_links.h"
#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/file_data.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/platform/long_path.h"
#include "engine/core/lines.h"
#include "engine/win/platform/program_start.h"
#include "engine/win/platform/run_record.h"
#include "engine/core/uninstall_start_rules.h"
#include "engine/core/user_switches.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

using core::Text;

constexpr int kCopyFolderAttempts = 100;

// Start-up reads no more of the log than this: the header is its first lines.
constexpr size_t kHeaderReadLimit = size_t(256) << 10;

// The copy that the first stage started, held until unload so that the
// launcher can open it by the id in UNINSTPID and wait for it.
UniqueHandle g_started_copy;

// A private copy that is not the whole log would be replayed in part.
bool CopyWhole(const Text& source, const Text& copy) {
  uint64_t source_size = 0, copy_size = 0;
  return CopyFileW(WideOf(source), WideOf(copy), FALSE) && FileSize(WideOf(source), source_size) &&
         FileSize(WideOf(copy), copy_size) && source_size == copy_size;
}

// The log's first lines: at most kHeaderReadLimit bytes, and only whole
// lines when the log goes on after them.
bool ReadHeaderBytes(HANDLE file, std::string& bytes) {
  if (!ReadAll(file, bytes, kHeaderReadLimit)) return false;
  if (bytes.size() == kHeaderReadLimit) bytes.resize(core::WholeLines(bytes).size());
  return true;
}

// A silent run has nobody to answer a box; the caller's exit code tells.
void ShowMessage(core::TextView language_key) {
  if (Expand(ReferenceOf(contract::kSilent)) == u"1") return;
  const Text text = Expand(language_key);
  const Text caption = Expand(ReferenceOf(contract::kAppTitle));
  MessageBoxW(nullptr, WideOf(text), WideOf(caption), MB_OK | LanguageBoxStyle());
}

// Eight or four hexadecimal digits of |seed|, as the folder's and the copy's names have them.
void AppendHex(Text& text, DWORD seed, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text.push_back(u"0123456789ABCDEF"[(seed >> shift) & 0xF]);
}

// A fresh folder "qxu" and 8 hexadecimal digits beside the runtime folder,
// in the temporary folder that the launcher chose, made with the protected
// list: the copy runs elevated, and nobody else may put or change anything
// where it lies. With its "\". |held| keeps it open without delete sharing
// until the copy has started, so that nobody can rename it and put another
// folder in its place meanwhile.
bool CreateCopyFolder(Text& folder, UniqueFile& held) {
  const Text runtime = Expand(ReferenceOf(contract::kRuntimeFolder));
  core::TextView temp = runtime;
  while (!temp.empty() && temp.back() == u'\\') temp.remove_suffix(1);
  const size_t cut = temp.find_last_of(u'\\');
  if (cut == core::TextView::npos) return false;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
  for (int attempt = 0; attempt < kCopyFolderAttempts; ++attempt, seed += GetTickCount() | 1) {
    folder.assign(temp.substr(0, cut + 1));
    folder += u"qxu";
    AppendHex(folder, seed, 8);
    if (CreateProtectedFolder(WideOf(folder))) {
      if (!HoldFolder(WideOf(folder), FILE_LIST_DIRECTORY | SYNCHRONIZE, held)) {
        held.reset();
        RemoveDirectoryW(WideOf(folder));
        return false;
      }
      folder.push_back(u'\\');
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// The copy made under a fresh name "qxu" and 4 hexadecimal digits ".tmp" in
// |folder| and written through a handle that shares only reading; then
// reopened as the very file written (one name, no link) and |held| sharing
// only reading until the copy has started, and read back through that
// handle: it must be exactly what was written, for between the two opens
// another program could have written to it. |copy| names it once it is made.
bool WriteCopy(const Text& program, const Text& folder, Text& copy, UniqueFile& held) {
  std::string bytes;
  if (!ReadWholeFile(WideOf(program), bytes)) return false;
  FileIdentity written;
  {
    UniqueFile file;
    Text name;
    DWORD seed = GetTickCount() ^ GetCurrentProcessId();
    for (int attempt = 0; !file && attempt < kCopyFolderAttempts; ++attempt, seed = seed * 69069 + 1) {
      name = folder + u"qxu";
      AppendHex(name, seed, 4);
      name += u".tmp";
      file.reset(CreateFileW(WideOf(name), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (!file) return false;
    copy = std::move(name);
    if (!WriteAll(file.get(), bytes) || !IdentityOf(file.get(), written)) return false;
  }
  held.reset(CreateFileW(WideOf(copy), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION opened;
  std::string back;
  return held && GetFileInformationByHandle(held.get(), &opened) &&
         written == FileIdentity{opened.dwVolumeSerialNumber, opened.nFileIndexHigh, opened.nFileIndexLow} &&
         opened.nNumberOfLinks == 1 && !(opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         ReadAll(held.get(), back, bytes.size() + 1) && back == bytes;
}

int RestartFromCopy(core::TextView command_line) {
  // In its long form the program is one text for the copy, and its log is
  // found beside it whatever way the uninstaller was started.
  const Text program = FullLongPathOf(Expand(ReferenceOf(contract::kLauncherPath)));
  if (!IsFileWithContent(WideOf(core::LogPathFor(program)))) {
    ShowMessage(u"#errorunlognotfound");
    return contract::kNoLog;
  }
  Text folder, copy;
  UniqueFile held_folder;
  if (!CreateCopyFolder(folder, held_folder)) return contract::kCopyNotStarted;
  ProgramRun run;
  {
    UniqueFile held;
    if (WriteCopy(program, folder, copy, held))
      run = StartProgram(copy, core::RelaunchParameters(program, command_line, RecordPath()), Text(), false, false);
  }
  if (!run.started) {
    // Nothing will run the copy: it must not stay behind.
    if (!copy.empty()) DeleteFileW(WideOf(copy));
    held_folder.reset();
    RemoveDirectoryW(WideOf(folder));
    return contract::kCopyNotStarted;
  }
  g_started_copy = std::move(run.process);
  Engine().text.SetVariable(NameOf(contract::kStartedCopyId),
                            core::DecimalText(static_cast<int64_t>(run.process_id)));
  return contract::kCopyStarted;
}

// A refused log: the message, unless silent, and the reason in the record.
int RefuseLog(core::TextView language_key, core::TextView reason, int result) {
  RecordLine(u"Log refused: " + Text(reason));
  ShowMessage(language_key);
  return result;
}

int OpenLog(const Text& installed) {
  EngineState& engine = Engine();
  // A short (8.3) form would give a log name that is not its log's.
  const Text program = FullLongPathOf(installed);
  engine.text.SetVariable(NameOf(contract::kInstalledUninstaller), program);
  Engine().installed_uninstaller = program;
  const Text log = core::LogPathFor(program);
  OpenRunRecord(log);
  if (!IsFileWithContent(WideOf(log)))
    return RefuseLog(u"#errorunlognotfound", u"not found, or empty", contract::kCopyFindsNoLog);

  // The private copy goes away with the runtime folder. A copy that could
  // not be made whole counts as a log that cannot be opened.
  Text copy;
  if (!CreateTemporaryFile(WideOf(Expand(ReferenceOf(contract::kRuntimeFolder))), L"qxu", copy) ||
      !CopyWhole(log, copy)) {
    if (!copy.empty()) DeleteFileW(WideOf(copy));
    return RefuseLog(u"#errorunlognotfound", u"it could not be copied whole", contract::kCopyFindsNoLog);
  }
  engine.text.SetVariable(u"LOGFILE", copy);
  Engine().log.reset(CreateFileW(WideOf(copy), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (Engine().log) ReadHeaderBytes(Engine().log.get(), bytes);

  const core::LogHeader header = core::ReadLogHeader(bytes, Expand(ReferenceOf(contract::kAppTitle)));
  if (header.status != core::LogHeaderStatus::kValid) {
    // A rejected log is never replayed: every phase now finds no log.
    Engine().log.reset();
    if (header.status == core::LogHeaderStatus::kNoHeader)
      return RefuseLog(u"#errorunloginvalid", u"it has no header", contract::kLogWithoutHeader);
    return RefuseLog(u"#errorunloginvalid", u"its title is another package's", contract::kLogOfAnotherPackage);
  }
  engine.text.SetVariable(NameOf(contract::kLanguageId), core::DecimalText(header.language));
  engine.text.SetVariable(u"DESTPATH", header.install_folder);
  return contract::kUninstallHere;
}

}  // namespace

int InitUninstall() {
  const Text command_line = FromWide(GetCommandLineW());
  core::UserSwitches<core::TextBuffer> switches;
  core::ReadUserSwitches(command_line, switches);
  return switches.copy ? OpenLog(switches.installed_uninstaller.text) : RestartFromCopy(command_line);
}

}  // namespace qx::engine
