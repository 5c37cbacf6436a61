#include "engine/win/platform/program_start.h"

#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

ProgramRun StartProgram(const core::Text& program, const core::Text& parameters, const core::Text& folder, bool wait,
                        bool hidden) {
  ProgramRun run;
  if (program.empty()) return run;
  // A program text that brings its own quotes is used as it is.
  const bool quoted = program.front() == u'"';
  core::Text command;
  if (!quoted) command.push_back(u'"');
  command += program;
  if (!quoted) command.push_back(u'"');
  if (!parameters.empty()) {
    command.push_back(u' ');
    command += parameters;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, WideOf(command), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : WideOf(folder), &startup, &info))
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
