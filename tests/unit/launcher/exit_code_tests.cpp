// Which code each situation gives: a failed start, the end of a replay, and
// a copy's end as its waiting first stage reads it.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "engine/include/launcher_contract.h"
#include "test_support.h"
#include "uninstall/exit_codes.h"
#include "uninstall/run_lock.h"
#include "uninstall/wait_for_copy.h"

namespace {

// A process that ends with |code| at once.
HANDLE ProcessEndingWith(int code) {
  wchar_t command[64];
  wsprintfW(command, L"cmd.exe /c exit %d", code);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  REQUIRE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                         &process));
  CloseHandle(process.hThread);
  return process.hProcess;
}

int CopyEndingWith(int code, const qx::RunLock& lock) {
  qx::UniqueHandle copy(ProcessEndingWith(code));
  return qx::WaitForCopy(copy.get(), lock);
}

}  // namespace

TEST_CASE("start failures and replay ends: one code each, never 0 for work not done") {
  using namespace qx;
  CHECK_EQ(StartFailureExitCode(contract::kCopyStarted), kExitDone);
  CHECK_EQ(StartFailureExitCode(contract::kNoLog), 11);
  CHECK_EQ(StartFailureExitCode(contract::kCopyNotStarted), 12);
  CHECK_EQ(StartFailureExitCode(contract::kLogOfAnotherPackage), 15);
  CHECK_EQ(StartFailureExitCode(contract::kEngineFailure), 16);
  CHECK_EQ(ReplayExitCode(0, false, false), 0);
  CHECK_EQ(ReplayExitCode(0, true, false), 3010);
  // A restart does not finish what could not be removed.
  CHECK_EQ(ReplayExitCode(0, true, true), 17);
  CHECK_EQ(ReplayExitCode(5, true, true), 5);
}

TEST_CASE("a waiting first stage passes a success on only when the copy marked its end") {
  qx::RunLock first_stage;
  REQUIRE(first_stage.Take(L"C:\\Orvella Exit Code Tests\\uninstall.exe"));
  // Killed, or ended by something else: no mark, whatever the code.
  CHECK_EQ(CopyEndingWith(0, first_stage), qx::kExitCopyUnfinished);
  CHECK_EQ(CopyEndingWith(3010, first_stage), qx::kExitCopyUnfinished);
  CHECK_EQ(CopyEndingWith(2, first_stage), 2);
  qx::RunLock copy;
  copy.Join(L"C:\\Orvella Exit Code Tests\\uninstall.exe");
  copy.MarkFinished();
  CHECK_EQ(CopyEndingWith(0, first_stage), 0);
  CHECK_EQ(CopyEndingWith(3010, first_stage), 3010);
}
