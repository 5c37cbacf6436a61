// What every export shares: a failure inside the engine (an allocation that
// the heap refuses, a container asked for more than it can hold) ends the
// export with its failure result, and text results live in the engine's
// working text area.
//
// The engine is built without C++ exceptions: such a failure raises the
// engine's own structured exception (FailCurrentCall), which the export's
// guard, the launcher's one structured exception frame, takes and turns into
// the export's fallback. The failed call's own locals are not destroyed on
// that path: what they held stays allocated, as it would stay with an
// exception the process cannot recover from either.
#pragma once

#include <windows.h>

#include "common/structured_guard.h"
#include "engine/win/platform/engine_state.h"

namespace qx::engine {

// The exception code of a failed engine call (customer bit set, facility 0).
inline constexpr DWORD kEngineCallFailure = 0xE0515801;

inline bool IsEngineCallFailure(DWORD code) { return code == kEngineCallFailure; }

// Ends the calling export through its guard; without one the process ends,
// as with an uncaught exception.
[[noreturn]] void FailCurrentCall();

template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) {
  struct Call {
    Body* body;
    Result result;
  } call{&body, fallback};
  const GuardResult guard = RunGuarded(
      [](void* context) {
        auto* call = static_cast<Call*>(context);
        call->result = (*call->body)();
        return 0;
      },
      &call, IsEngineCallFailure);
  return guard.caught ? fallback : call.result;
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
