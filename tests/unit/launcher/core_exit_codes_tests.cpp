// The one exit-code decision: every code of the README's table from the
// facts that give it, in both modes where they differ.
#include <climits>
#include <string>

#include <doctest.h>

#include "engine/include/launcher_contract.h"
#include "uninstall/exit_codes.h"

using qx::RunFacts;
using qx::ScriptEnd;

namespace {

RunFacts Started(int init_result, bool silent) {
  RunFacts facts;
  facts.silent = silent;
  facts.engine_started = true;
  facts.init_result = init_result;
  return facts;
}

RunFacts Script(ScriptEnd end, bool silent, int exit_code = 0, bool restart = false, bool not_removed = false) {
  RunFacts facts = Started(qx::contract::kUninstallHere, silent);
  facts.copy = true;
  facts.script = end;
  facts.script_exit_code = exit_code;
  facts.restart_needed = restart;
  facts.not_removed = not_removed;
  return facts;
}

RunFacts WaitedFor(bool ended, int code, bool finished) {
  RunFacts facts = Started(qx::contract::kCopyStarted, true);
  facts.waited_for_copy = true;
  facts.copy_ended = ended;
  facts.copy_exit_code = code;
  facts.copy_finished = finished;
  return facts;
}

RunFacts OwnFileGone(bool installation_gone, bool silent) {
  RunFacts facts;
  facts.silent = silent;
  facts.own_file_gone = true;
  facts.installation_gone = installation_gone;
  return facts;
}

RunFacts Fatal(int status) {
  RunFacts facts;
  facts.launcher_status = status;
  return facts;
}

RunFacts Busy(bool silent) {
  RunFacts facts;
  facts.silent = silent;
  facts.busy = true;
  return facts;
}

}  // namespace

TEST_CASE("each situation gives its one code") {
  using namespace qx::contract;
  const struct {
    const char* situation;
    RunFacts facts;
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
      {"silent: own file gone with the installation", OwnFileGone(true, true), 11},
      {"interactive: own file gone with the installation", OwnFileGone(true, false), 0},
      {"silent: copy not started", Started(kCopyNotStarted, true), 12},
      {"silent: the copy finds no log", Started(kCopyFindsNoLog, true), 13},
      {"silent: no header", Started(kLogWithoutHeader, true), 14},
      {"silent: another package", Started(kLogOfAnotherPackage, true), 15},
      {"silent: engine failure", Started(kEngineFailure, true), 16},
      {"not all removed", Script(ScriptEnd::kCompleted, true, 0, false, true), 17},
      {"a restart does not finish what could not be removed", Script(ScriptEnd::kCompleted, true, 0, true, true), 17},
      {"killed copy ending 0", WaitedFor(true, 0, false), 18},
      {"copy ended with 1 by something else", WaitedFor(true, 1, false), 18},
      {"copy ended with 1618 by something else", WaitedFor(true, 1618, false), 18},
      {"copy's end unreadable", WaitedFor(false, 0, true), 18},
      {"finished copy's code passed on", WaitedFor(true, 3010, true), 3010},
      {"finished copy declined", WaitedFor(true, 2, true), 2},
      {"busy, silent", Busy(true), 1618},
      {"busy, interactive", Busy(false), 1618},
      {"own file gone, log still there", OwnFileGone(false, false), 1618},
      {"restart needed", Script(ScriptEnd::kCompleted, false, 0, true), 3010},
      {"the script's own code", Script(ScriptEnd::kCompleted, true, 5, true, true), 5},
      {"no temporary folder", Fatal(1), -1},
      {"runtime", Fatal(2), -2},
      {"damaged container", Fatal(3), -3},
      {"archive error", Fatal(32), -32},
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
