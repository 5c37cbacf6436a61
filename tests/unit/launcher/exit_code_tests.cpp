// A copy's end as its waiting first stage reads it: the code, and the
// completion mark that only a copy that ran to its end sets.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
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
  qx::RunFacts facts;
  qx::WaitForCopy(copy.get(), lock, facts);
  CHECK(facts.copy_ended);
  CHECK_EQ(facts.copy_exit_code, code);
  return qx::DecideExit(facts).code;
}

}  // namespace

TEST_CASE("a waiting first stage passes a success on only when the copy marked its end") {
  qx::RunLock first_stage;
  REQUIRE(first_stage.Take(L"C:\\Orvella Exit Code Tests\\uninstall.exe"));
  // Killed, or ended by something else: no mark, whatever the code.
  CHECK_EQ(CopyEndingWith(0, first_stage), qx::kExitCopyUnfinished);
  CHECK_EQ(CopyEndingWith(3010, first_stage), qx::kExitCopyUnfinished);
  CHECK_EQ(CopyEndingWith(2, first_stage), qx::kExitCopyUnfinished);
  qx::RunLock copy;
  copy.Join(L"C:\\Orvella Exit Code Tests\\uninstall.exe");
  copy.MarkFinished();
  CHECK_EQ(CopyEndingWith(0, first_stage), 0);
  CHECK_EQ(CopyEndingWith(3010, first_stage), 3010);
  CHECK_EQ(CopyEndingWith(2, first_stage), 2);
}
