// The structured-exception guard: faults inside the guarded call end that
// call only, the thread's handler chain comes back intact, a filter passes
// what it declines to the frames further out, and the delay-load helper's
// binding failures arrive as the codes the engine phase takes.
#include <string>

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "test_support.h"
#include "uninstall/engine_api.h"
#include "uninstall/script_guard.h"

using namespace qxtest;

// Delayed imports made for these tests (missing_library.def and
// missing_export.def): a library that does not exist, and a name that the
// existing kernel32.dll does not export.
extern "C" int WINAPI AbsentLibraryCall(int);
extern "C" int WINAPI QXAbsentExport(int);

namespace {

// The head of the thread's frame list: x86's handler chain, and on x64 the
// list where Wine keeps its own frames.
void* ChainHead() {
  void* head;
#if defined(__i386__)
  asm volatile("movl %%fs:0, %0" : "=r"(head));
#else
  asm volatile("movq %%gs:0, %0" : "=r"(head));
#endif
  return head;
}

int ReadNullPointer(void* context) {
  volatile int* target = static_cast<int*>(context);
  return *target;
}

int WriteReadOnlyPage(void*) {
  static const int constant = 1;
  *const_cast<volatile int*>(&constant) = 2;
  return 7;
}

int ReturnContext(void* context) { return *static_cast<int*>(context); }

int RaiseCode(void* context) {
  RaiseException(*static_cast<DWORD*>(context), 0, 0, nullptr);
  return 5;
}

int FaultInsideBindingGuard(void*) {
  qx::GuardResult inner = qx::RunGuarded(ReadNullPointer, nullptr, qx::IsEngineBindingFailure);
  return inner.caught ? 1 : 2;
}

int CallAbsentLibrary(void*) { return AbsentLibraryCall(1); }
int CallAbsentExport(void*) { return QXAbsentExport(1); }

std::string Text(DWORD code) {
  qx::ScriptErrorText text;
  qx::FormatScriptError(code, text);
  return Utf8(text.get());
}

}  // namespace

TEST_CASE("Access violations inside the guard end the call and report c0000005") {
  void* before = ChainHead();
  qx::GuardResult read = qx::RunGuarded(ReadNullPointer, nullptr, qx::CatchEveryException);
  CHECK(read.caught);
  CHECK_EQ(read.code, static_cast<DWORD>(0xC0000005));
  CHECK_EQ(read.value, 0);
  CHECK_EQ(ChainHead(), before);

  // The process keeps running: a second fault of another kind is caught too.
  qx::GuardResult write = qx::RunGuarded(WriteReadOnlyPage, nullptr, qx::CatchEveryException);
  CHECK(write.caught);
  CHECK_EQ(write.code, static_cast<DWORD>(0xC0000005));
  CHECK_EQ(ChainHead(), before);
}

TEST_CASE("A normal return passes the value through and leaves the chain as it was") {
  void* before = ChainHead();
  for (int value : {0, 1, -2, 0x7fffffff}) {
    qx::GuardResult result = qx::RunGuarded(ReturnContext, &value, qx::CatchEveryException);
    CHECK(!result.caught);
    CHECK_EQ(result.value, value);
    CHECK_EQ(ChainHead(), before);
  }
}

TEST_CASE("Raised codes arrive unchanged; a filter hands what it declines outwards") {
  for (DWORD code : {static_cast<DWORD>(0xE0000001), static_cast<DWORD>(0xC06D007E), static_cast<DWORD>(0x1)}) {
    qx::GuardResult result = qx::RunGuarded(RaiseCode, &code, qx::CatchEveryException);
    CHECK(result.caught);
    CHECK_EQ(result.code, code);
  }

  // The inner guard takes only binding failures: the access violation goes
  // past it to the outer guard, which sees the inner call never returned.
  void* before = ChainHead();
  qx::GuardResult outer = qx::RunGuarded(FaultInsideBindingGuard, nullptr, qx::CatchEveryException);
  CHECK(outer.caught);
  CHECK_EQ(outer.code, static_cast<DWORD>(0xC0000005));
  CHECK_EQ(ChainHead(), before);

  DWORD missing = qx::kEngineExportMissing;
  qx::GuardResult taken = qx::RunGuarded(RaiseCode, &missing, qx::IsEngineBindingFailure);
  CHECK(taken.caught);
  CHECK_EQ(taken.code, missing);
}

TEST_CASE("Delayed imports that cannot be bound are caught as binding failures") {
  qx::GuardResult library = qx::RunGuarded(CallAbsentLibrary, nullptr, qx::IsEngineBindingFailure);
  CHECK(library.caught);
  CHECK_EQ(library.code, qx::kEngineNotLoaded);

  qx::GuardResult name = qx::RunGuarded(CallAbsentExport, nullptr, qx::IsEngineBindingFailure);
  CHECK(name.caught);
  CHECK_EQ(name.code, qx::kEngineExportMissing);
}

TEST_CASE("The script error names the code in lower-case hex without prefix or padding") {
  CHECK_EQ(Text(0xC0000005), std::string("Unexpected error in script: code c0000005.\nUninstaller execution aborted."));
  CHECK_EQ(Text(0x5), std::string("Unexpected error in script: code 5.\nUninstaller execution aborted."));
  CHECK_EQ(Text(0), std::string("Unexpected error in script: code 0.\nUninstaller execution aborted."));
  CHECK_EQ(Text(0xFFFFFFFF), std::string("Unexpected error in script: code ffffffff.\nUninstaller execution aborted."));
}

