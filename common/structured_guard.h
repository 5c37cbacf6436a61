// The one structured exception frame of the launcher and the engine, around
// one call. GCC has no __try: on x86 the guard pushes an exception
// registration record on the thread's FS:[0] chain
// (structured_guard_x86.cpp); on x64 its function names a handler in its
// unwind data (structured_guard_x64.cpp). Either handler jumps back into the
// guard, so a fault in the guarded call (an access violation, a failed
// engine binding, the engine's own failure of a call) ends that call and
// nothing else; handlers of frames inside the call see it first.
#pragma once

#include <windows.h>

namespace qx {

using GuardedCall = int (*)(void* context);
// Decides by the exception code whether the guard takes the exception; a
// declined one goes on to the frames further out.
using ExceptionFilter = bool (*)(DWORD code);

struct GuardResult {
  bool caught = false;
  // The exception code when caught.
  DWORD code = 0;
  // The call's result when it returned normally.
  int value = 0;
};

bool CatchEveryException(DWORD code);

// Runs |call| with |context| inside the frame. Frames that the call left
// behind on the chain are dropped when an exception is taken; their own
// clean-up does not run, so the guarded code keeps none of its own.
GuardResult RunGuarded(GuardedCall call, void* context, ExceptionFilter filter);

}  // namespace qx
