#include "common/static_objects.h"

#include <cstddef>

// The linker's list of constructors: -1, the constructors, then 0.
extern "C" void (*__CTOR_LIST__[])();

namespace {

using Destructor = void (*)();

// The launcher registers one destructor and the engine a handful; a full
// table refuses, as atexit may.
constexpr size_t kMaxDestructors = 32;
Destructor g_destructors[kMaxDestructors];
size_t g_destructor_count = 0;

}  // namespace

// The compiler registers each static object's destructor here.
extern "C" int atexit(Destructor destructor) {
  if (g_destructor_count == kMaxDestructors) return -1;
  g_destructors[g_destructor_count++] = destructor;
  return 0;
}

namespace qx {

void ConstructStaticObjects() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  // The runtime runs them from the last entry to the first.
  for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

void DestroyStaticObjects() {
  while (g_destructor_count > 0) g_destructors[--g_destructor_count]();
}

}  // namespace qx
