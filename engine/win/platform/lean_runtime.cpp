// The engine runs without the C++ exception runtime: the pieces of the
// runtime that would throw are replaced here by a failure of the calling
// export (export_support.h), which returns that export's failure result.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "engine/win/platform/export_support.h"

namespace qx::engine {

void FailCurrentCall() {
  RaiseException(kEngineCallFailure, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  // A non-continuable exception never comes back; should a handler try, the
  // process ends.
  std::abort();
}

}  // namespace qx::engine

// Allocation: the heap's answer, and a refusal resumes the guard.
void* operator new(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) qx::engine::FailCurrentCall();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
// The form that answers null, for a caller that does without the memory
// when refused (the runtime library's own would bring its exception
// handling).
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
