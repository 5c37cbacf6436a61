// The engine runs without the C++ exception runtime: the pieces of the
// runtime that would throw are replaced here by a resumption of the calling
// export's guard (export_support.h), which returns that export's failure
// result.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "engine/win/platform/export_support.h"

namespace qx::engine {

namespace {

// The slot of the calling thread's innermost guard. Each thread that enters
// the engine (the caller's, the progress box's) has its own chain.
DWORD g_guard_slot = TLS_OUT_OF_INDEXES;

void* ExceptionChain() {
  void* chain;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(chain));
  return chain;
}

void SetExceptionChain(void* chain) { __asm__ volatile("movl %0, %%fs:0" : : "r"(chain) : "memory"); }

}  // namespace

void StartGuards() { g_guard_slot = TlsAlloc(); }

void StopGuards() {
  if (g_guard_slot != TLS_OUT_OF_INDEXES) TlsFree(g_guard_slot);
  g_guard_slot = TLS_OUT_OF_INDEXES;
}

void EnterGuard(GuardFrame& frame) {
  frame.outer = static_cast<GuardFrame*>(TlsGetValue(g_guard_slot));
  frame.exception_chain = ExceptionChain();
  TlsSetValue(g_guard_slot, &frame);
}

void LeaveGuard(GuardFrame& frame) { TlsSetValue(g_guard_slot, frame.outer); }

void FailCurrentCall() {
  auto* frame = static_cast<GuardFrame*>(TlsGetValue(g_guard_slot));
  if (!frame) std::abort();
  // Structured-exception frames that the platform registered below the
  // guard (inside a window procedure's dispatch, say) are left with it.
  SetExceptionChain(frame->exception_chain);
  __builtin_longjmp(frame->context, 1);
}

}  // namespace qx::engine

// Allocation: the heap's answer, and a refusal resumes the guard.
void* operator new(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) qx::engine::FailCurrentCall();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
// The form that answers null (std::stable_sort's scratch buffer, which it
// does without when refused).
namespace std {
const nothrow_t nothrow{};
}  // namespace std
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

// The containers' error paths: a length or range failure here is a request
// for more than the memory holds, and fails the call like one.
namespace std {
void __throw_bad_alloc() { qx::engine::FailCurrentCall(); }
void __throw_bad_array_new_length() { qx::engine::FailCurrentCall(); }
void __throw_length_error(const char*) { qx::engine::FailCurrentCall(); }
void __throw_logic_error(const char*) { qx::engine::FailCurrentCall(); }
void __throw_out_of_range(const char*) { qx::engine::FailCurrentCall(); }
void __throw_out_of_range_fmt(const char*, ...) { qx::engine::FailCurrentCall(); }
}  // namespace std
