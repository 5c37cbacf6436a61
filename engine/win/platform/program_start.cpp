#include "engine/win/platform/program_start.h"

#include "common/unique_resource.h"

namespace qx::engine {

ProgramRun StartProgram(const std::wstring& program, const std::wstring& parameters, const std::wstring& folder,
                        bool wait, bool hidden) {
  ProgramRun run;
  if (program.empty()) return run;
  // A program text that brings its own quotes is used as it is.
  std::wstring command = program.front() == L'"' ? program : L"\"" + program + L"\"";
  if (!parameters.empty()) command += L" " + parameters;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return run;
  UniqueHandle thread(info.hThread);
  run.process.reset(info.hProcess);
  run.process_id = info.dwProcessId;
  run.started = true;
  if (wait) WaitForSingleObject(run.process.get(), INFINITE);
  GetExitCodeProcess(run.process.get(), &run.exit_code);
  return run;
}

}  // namespace qx::engine
