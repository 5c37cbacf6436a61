// The registry family of exports: key, key tree and value deletion, and a
// library's self-registration under a time limit. Null texts count as empty;
// no C++ exception escapes.
#include <windows.h>

#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/export_support.h"
#include "engine/include/qxcore.h"
#include "engine/win/log/removal.h"
#include "engine/win/platform/wide.h"

namespace {

using qx::engine::Expand;
using qx::engine::FromWide;
using qx::engine::Guarded;

}  // namespace

extern "C" {

int WINAPI QXRegDeleteKey(const wchar_t* key) {
  return Guarded(0, [&] { return qx::engine::DeleteRegistryKey(FromWide(key)) == ERROR_SUCCESS ? 1 : 0; });
}

int WINAPI QXRegDeleteKeysRecursive(const wchar_t* key) {
  return Guarded(0, [&] {
    qx::engine::DeleteRegistryKeyTree(FromWide(key));
    return 0;
  });
}

int WINAPI QXRegDeleteValue(const wchar_t* key, const wchar_t* name) {
  return Guarded(0, [&] {
    return qx::engine::DeleteRegistryValue(Expand(FromWide(key)), Expand(FromWide(name))) ? 1 : 0;
  });
}

// Any non-zero |do_register| registers.
int WINAPI QXRegisterServer(const wchar_t* library, int do_register, int limit_ms) {
  return Guarded(-1, [&] { return qx::engine::RegisterServer(Expand(FromWide(library)), do_register != 0, limit_ms); });
}

}  // extern "C"
