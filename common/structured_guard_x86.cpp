#include "common/structured_guard.h"

namespace qx {
namespace {

// The platform's part (next, handler) must come first: the system walks the
// chain through these two fields.
struct GuardFrame {
  GuardFrame* next;
  void* handler;
  ExceptionFilter filter;
  DWORD code;
  void* resume[5];
};

GuardFrame* ChainHead() {
  GuardFrame* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(GuardFrame* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* established, CONTEXT*,
                                                       void*) {
  auto* frame = static_cast<GuardFrame*>(established);
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (!frame->filter(record->ExceptionCode)) return ExceptionContinueSearch;
  frame->code = record->ExceptionCode;
  __builtin_longjmp(frame->resume, 1);
}

}  // namespace

bool CatchEveryException(DWORD) { return true; }

__attribute__((noinline)) GuardResult RunGuarded(GuardedCall call, void* context, ExceptionFilter filter) {
  GuardFrame frame;
  frame.handler = reinterpret_cast<void*>(&GuardHandler);
  frame.filter = filter;
  frame.code = 0;
  frame.next = ChainHead();

  GuardResult result;
  if (__builtin_setjmp(frame.resume) == 0) {
    SetChainHead(&frame);
    result.value = call(context);
  } else {
    // Back from the handler: the dispatcher's own frames are still on the
    // chain above ours.
    result.caught = true;
    result.code = frame.code;
  }
  SetChainHead(frame.next);
  return result;
}

}  // namespace qx
