#include "uninstall_start.h"

#include <windows.h>

#include <string>
#include <vector>

#include "engine_state.h"
#include "file_io.h"
#include "fixed_string.h"
#include "process_parameters.h"
#include "program_start.h"
#include "uninstall_start_rules.h"
#include "wide.h"

namespace qx::engine {

namespace {

using core::Text;

// A silent run has nobody to answer a box; the caller's exit code tells.
void ShowMessage(core::TextView language_key) {
  if (Expand(u"%SILENT%") == u"1") return;
  const std::wstring text = ToWide(Expand(language_key));
  const std::wstring caption = ToWide(Expand(u"%APPTITLE%"));
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

// Missing files, folders and empty files all count as no log.
bool HasContent(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

// A new empty file with a unique "qxu" name in |folder|.
bool NewTemporaryFile(const std::wstring& folder, std::wstring& path) {
  FixedString<wchar_t, MAX_PATH> name;
  if (!GetTempFileNameW(folder.c_str(), L"qxu", 0, name.writable())) return false;
  if (!name.commit(TextLength(name.writable()))) return false;
  path = name.get();
  return true;
}

int RestartFromCopy(const std::vector<Text>& parameters) {
  const Text program = Expand(u"%ARCNAME%");
  if (!HasContent(ToWide(core::LogPathFor(program)))) {
    ShowMessage(u"#errorunlognotfound");
    return -1;
  }
  std::wstring copy;
  if (!NewTemporaryFile(ToWide(Expand(u"%TMP%")), copy)) return -2;
  const Text first = parameters.empty() ? Text() : parameters[0];
  if (!CopyFileW(ToWide(program).c_str(), copy.c_str(), FALSE) ||
      !StartProgram(copy, ToWide(core::RelaunchParameters(program, first)), std::wstring(), false, false).started) {
    // Nothing will run the copy: it must not stay behind.
    DeleteFileW(copy.c_str());
    return -2;
  }
  return 0;
}

int OpenLog(const std::vector<Text>& parameters) {
  EngineState& engine = Engine();
  const Text program = parameters.size() > 1 ? parameters[1] : Text();
  engine.text.SetVariable(u"UNINSTEXE", program);
  const std::wstring log = ToWide(core::LogPathFor(program));
  if (!HasContent(log)) {
    ShowMessage(u"#errorunlognotfound");
    return -3;
  }

  // The private copy goes away with the runtime folder. A copy that failed
  // stays empty and fails the header check below.
  std::wstring copy;
  NewTemporaryFile(ToWide(Expand(u"%QXSFXPATH%")), copy);
  CopyFileW(log.c_str(), copy.c_str(), FALSE);
  engine.text.SetVariable(u"LOGFILE", FromWide(copy.c_str()));
  engine.log.reset(CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (engine.log) ReadAll(engine.log.get(), bytes);

  const core::LogHeader header = core::ReadLogHeader(bytes, Expand(u"%APPTITLE%"));
  if (header.status != core::LogHeaderStatus::kValid) {
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
