// What every export shares: a failure inside the engine (an allocation that
// the heap refuses, a container asked for more than it can hold) ends the
// export with its failure result, and text results live in the engine's
// working text area.
//
// The engine is built without C++ exceptions: such a failure resumes the
// innermost guard of the calling thread (a __builtin_setjmp context), which
// returns the export's fallback. The failed call's own locals are not
// destroyed on that path: what they held stays allocated, as it would stay
// with an exception the process cannot recover from either.
#pragma once

#include "engine/win/platform/engine_state.h"

namespace qx::engine {

struct GuardFrame {
  void* context[5];  // __builtin_setjmp's buffer
  GuardFrame* outer;
  void* exception_chain;  // FS:[0] when the guard was entered
};

// The per-thread guard chains, from the library's load to its unload.
void StartGuards();
void StopGuards();

// Links |frame| in as the calling thread's innermost guard, or unlinks it.
void EnterGuard(GuardFrame& frame);
void LeaveGuard(GuardFrame& frame);
// Resumes the calling thread's innermost guard; without one, ends the process
// as an uncaught exception would have.
[[noreturn]] void FailCurrentCall();

template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) {
  GuardFrame frame;
  if (__builtin_setjmp(frame.context)) {
    LeaveGuard(frame);
    return fallback;
  }
  EnterGuard(frame);
  Result result = body();
  LeaveGuard(frame);
  return result;
}

// Returned when even the working text area could not be filled.
inline const wchar_t kEmptyResult[] = L"";

// Leaves |text| in the working text area and hands out a pointer to it,
// valid until the next call into the engine.
inline const wchar_t* SetResult(core::Text text) {
  Engine().result = std::move(text);
  return reinterpret_cast<const wchar_t*>(Engine().result.c_str());
}

}  // namespace qx::engine
