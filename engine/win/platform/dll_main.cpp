#include <windows.h>

// The toolchain's runtime (libgcc's unwinder, for its registry of exception
// frames) makes a semaphore for a lock with static storage when the library
// loads and never closes it: each load would leave one handle behind. The
// linker sends the runtime's calls of CreateSemaphoreW through RecordSemaphore
// (--wrap of the import slot), and the handles are closed when the library
// unloads, when no thread can run the library's code any more.
extern "C" {
// The import slot as the runtime's objects read it (--wrap renames their
// reference), and the platform's own slot.
extern void* const wrapped_create_semaphore asm("___wrap__imp__CreateSemaphoreW@16");
extern void* const real_create_semaphore asm("___real__imp__CreateSemaphoreW@16");
}

namespace {

HANDLE g_runtime_semaphores[8];

HANDLE WINAPI RecordSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  const auto create = reinterpret_cast<decltype(&CreateSemaphoreW)>(real_create_semaphore);
  const HANDLE semaphore = create(attributes, initial, maximum, name);
  for (HANDLE& slot : g_runtime_semaphores) {
    if (slot) continue;
    slot = semaphore;
    break;
  }
  return semaphore;
}

}  // namespace

void* const wrapped_create_semaphore = reinterpret_cast<void*>(&RecordSemaphore);

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH)
    for (HANDLE semaphore : g_runtime_semaphores)
      if (semaphore) CloseHandle(semaphore);
  return TRUE;
}
