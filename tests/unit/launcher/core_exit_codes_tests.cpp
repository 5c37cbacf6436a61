// The one exit-code decision: every code of the README's table from the
// facts that give it, in both modes where they differ.
#include <climits>
#include <string>

#include <doctest.h>

#include "engine/include/launcher_contract.h"
#include "uninstall/exit_codes.h"

using qx::ScriptEnd;
using namespace qx::contract;

namespace {

// A copy whose script ended with |end|.
constexpr qx::RunFacts Script(ScriptEnd end, bool silent, int code = 0, bool restart = false, bool left = false) {
  return {.silent = silent, .copy = true, .engine_started = true, .init_result = kUninstallHere, .script = end,
          .script_exit_code = code, .restart_needed = restart, .not_removed = left};
}

// A silent first stage that waited for its copy.
constexpr qx::RunFacts WaitedFor(bool ended, int code, bool finished) {
  return {.silent = true, .engine_started = true, .init_result = kCopyStarted, .waited_for_copy = true,
          .copy_ended = ended, .copy_exit_code = code, .copy_finished = finished};
}

constexpr qx::RunFacts Started(int init_result, bool silent) {
  return {.silent = silent, .engine_started = true, .init_result = init_result};
}

}  // namespace

TEST_CASE("each situation gives its one code") {
  const struct {
    const char* situation;
    qx::RunFacts facts;
    int code;
  } rows[] = {
      {"replay complete", Script(ScriptEnd::kCompleted, true), 0},
      {"interactive first stage started the copy", Started(kCopyStarted, false), 0},
      {"interactive: no log, after the message", Started(kNoLog, false), 0},
      {"declined", Script(ScriptEnd::kDeclined, false), 2},
      {"no rights", Script(ScriptEnd::kNoRights, true), 3},
      {"a phase failed", Script(ScriptEnd::kPhaseFailed, true), 3},
      {"exception, silent", Script(ScriptEnd::kException, true), 3},
      {"exception, interactive", Script(ScriptEnd::kException, false), 3},
      {"silent: no log", Started(kNoLog, true), 11},
      {"silent: own file gone with the installation", {.silent = true, .own_file_gone = true, .installation_gone = true}, 11},
      {"interactive: own file gone with the installation", {.own_file_gone = true, .installation_gone = true}, 0},
      {"silent: copy not started", Started(kCopyNotStarted, true), 12},
      {"silent: the copy finds no log", Started(kCopyFindsNoLog, true), 13},
      {"silent: no header", Started(kLogWithoutHeader, true), 14},
      {"silent: another package", Started(kLogOfAnotherPackage, true), 15},
      {"silent: engine failure", Started(kEngineFailure, true), 16},
      {"not all removed", Script(ScriptEnd::kCompleted, true, 0, false, true), 17},
      {"a restart does not finish what could not be removed", Script(ScriptEnd::kCompleted, true, 0, true, true), 17},
      {"killed copy ending 0", WaitedFor(true, 0, false), 18},
      {"copy ended with 1618 by something else", WaitedFor(true, 1618, false), 18},
      {"copy's end unreadable", WaitedFor(false, 0, true), 18},
      {"finished copy's code passed on", WaitedFor(true, 3010, true), 3010},
      {"busy, silent", {.silent = true, .busy = true}, 1618},
      {"own file gone, log still there", {.own_file_gone = true}, 1618},
      {"restart needed", Script(ScriptEnd::kCompleted, false, 0, true), 3010},
      {"the script's own code", Script(ScriptEnd::kCompleted, true, 5, true, true), 5},
      {"no temporary folder", {.launcher_status = 1}, -1},
      {"archive error", {.launcher_status = 32}, -32},
  };
  for (const auto& row : rows) {
    CAPTURE(row.situation);
    const qx::ExitDecision decision = qx::DecideExit(row.facts);
    CHECK_EQ(decision.code, row.code);
    CHECK(decision.meaning != nullptr);
  }
  // Each documented code has a meaning of its own.
  CHECK_NE(std::string(qx::DecideExit(Started(kLogWithoutHeader, true)).meaning),
           std::string(qx::DecideExit(Started(kCopyFindsNoLog, true)).meaning));
  CHECK_EQ(qx::FatalExitCode(INT_MIN), INT_MIN);
}
