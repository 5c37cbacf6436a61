#include "common/structured_guard.h"

namespace qx {
namespace {

// A module's thread-local storage would cost a handle each time the engine
// is loaded, so the handler finds its frame on the stack instead: RunGuarded
// keeps it among its locals, just above the stack frame the system hands
// the handler, marked by a pointer to itself.
struct GuardFrame {
  GuardFrame* self;
  // The thread's frame list, which Wine keeps for its own handlers on x64
  // too: a dispatch left by the jump back leaves its frame there.
  void* thread_frames;
  ExceptionFilter filter;
  DWORD code;
  void* resume[5];
};

// How far above its stack frame RunGuarded's locals may lie, in words.
constexpr int kFrameSearchWords = 64;

void* ThreadFrames() {
  void* head;
  asm volatile("movq %%gs:0, %0" : "=r"(head));
  return head;
}

void SetThreadFrames(void* head) { asm volatile("movq %0, %%gs:0" : : "r"(head) : "memory"); }

}  // namespace

// The language handler that RunGuarded's unwind data names. The system calls
// it for an exception raised anywhere inside the guarded call, once the
// frames inside have declined it; |established| is that RunGuarded call's
// stack frame. Guards nested inside lie below it, on the part of the stack
// the call used.
extern "C" __attribute__((used)) EXCEPTION_DISPOSITION QxGuardHandler(EXCEPTION_RECORD* record, void* established,
                                                                        CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  auto** word = static_cast<GuardFrame**>(established);
  GuardFrame* frame = nullptr;
  for (int i = 0; i < kFrameSearchWords && !frame; ++i) {
    if (word[i] == reinterpret_cast<GuardFrame*>(&word[i])) frame = word[i];
  }
  if (!frame || !frame->filter(record->ExceptionCode)) return ExceptionContinueSearch;
  frame->code = record->ExceptionCode;
  __builtin_longjmp(frame->resume, 1);
}

bool CatchEveryException(DWORD) { return true; }

__attribute__((noinline)) GuardResult RunGuarded(GuardedCall call, void* context, ExceptionFilter filter) {
  asm(".seh_handler QxGuardHandler, @except");
  GuardFrame frame;
  frame.self = &frame;
  frame.thread_frames = ThreadFrames();
  frame.filter = filter;
  frame.code = 0;
  // Only the handler reads the frame: its fields must be in memory.
  asm volatile("" : : "r"(&frame) : "memory");

  GuardResult result;
  if (__builtin_setjmp(frame.resume) == 0) {
    result.value = call(context);
  } else {
    result.caught = true;
    result.code = frame.code;
  }
  SetThreadFrames(frame.thread_frames);
  return result;
}

}  // namespace qx
