#include "uninstall_start.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "engine_state.h"
#include "file_data.h"
#include "file_io.h"
#include "lines.h"
#include "process_parameters.h"
#include "program_start.h"
#include "run_record.h"
#include "uninstall_start_rules.h"
#include "wide.h"

namespace qx::engine {

namespace {

using core::Text;

// Start-up reads no more of the log than this: the header is its first lines.
constexpr size_t kHeaderReadLimit = size_t(256) << 10;

// A private copy that is not the whole log would be replayed in part.
bool CopyWhole(const std::wstring& source, const std::wstring& copy) {
  uint64_t source_size = 0, copy_size = 0;
  return CopyFileW(source.c_str(), copy.c_str(), FALSE) && FileSize(source, source_size) &&
         FileSize(copy, copy_size) && source_size == copy_size;
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
  if (Expand(u"%SILENT%") == u"1") return;
  const std::wstring text = ToWide(Expand(language_key));
  const std::wstring caption = ToWide(Expand(u"%APPTITLE%"));
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | LanguageBoxStyle());
}

int RestartFromCopy(const std::vector<Text>& parameters) {
  const Text program = Expand(u"%ARCNAME%");
  if (!IsFileWithContent(ToWide(core::LogPathFor(program)))) {
    ShowMessage(u"#errorunlognotfound");
    return -1;
  }
  std::wstring copy;
  if (!CreateTemporaryFile(ToWide(Expand(u"%TMP%")), L"qxu", copy)) return -2;
  ProgramRun run;
  if (CopyFileW(ToWide(program).c_str(), copy.c_str(), FALSE))
    run = StartProgram(copy, ToWide(core::RelaunchParameters(program, parameters)), std::wstring(), false, false);
  if (!run.started) {
    // Nothing will run the copy: it must not stay behind.
    DeleteFileW(copy.c_str());
    return -2;
  }
  Engine().started_copy = std::move(run.process);
  Engine().text.SetVariable(u"UNINSTPID", core::DecimalText(static_cast<int64_t>(run.process_id)));
  return 0;
}

int OpenLog(const std::vector<Text>& parameters) {
  EngineState& engine = Engine();
  const Text program = parameters.size() > 1 ? parameters[1] : Text();
  engine.text.SetVariable(u"UNINSTEXE", program);
  engine.installed_uninstaller = program;
  const std::wstring log = ToWide(core::LogPathFor(program));
  OpenRunRecord(parameters, core::LogPathFor(program));
  if (!IsFileWithContent(log)) {
    ShowMessage(u"#errorunlognotfound");
    return -3;
  }

  // The private copy goes away with the runtime folder. A copy that could
  // not be made whole counts as a log that cannot be opened.
  std::wstring copy;
  if (!CreateTemporaryFile(ToWide(Expand(u"%QXSFXPATH%")), L"qxu", copy) || !CopyWhole(log, copy)) {
    if (!copy.empty()) DeleteFileW(copy.c_str());
    ShowMessage(u"#errorunlognotfound");
    return -3;
  }
  engine.text.SetVariable(u"LOGFILE", FromWide(copy.c_str()));
  engine.log.reset(CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (engine.log) ReadHeaderBytes(engine.log.get(), bytes);

  const core::LogHeader header = core::ReadLogHeader(bytes, Expand(u"%APPTITLE%"));
  if (header.status != core::LogHeaderStatus::kValid) {
    // A rejected log is never replayed: every phase now finds no log.
    engine.log.reset();
    ShowMessage(u"#errorunloginvalid");
    return header.status == core::LogHeaderStatus::kNoHeader ? -4 : -5;
  }
  engine.text.SetVariable(u"QXLANGID", core::DecimalText(header.language));
  engine.text.SetVariable(u"DESTPATH", header.install_folder);
  return 1;
}

}  // namespace

int InitUninstall() {
  const std::vector<Text> parameters = ProcessParameters();
  if (!parameters.empty() && parameters[0] == core::kSecondStageSwitch) return OpenLog(parameters);
  return RestartFromCopy(parameters);
}

}  // namespace qx::engine
