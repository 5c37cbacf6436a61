#include "uninstall/engine_binding.h"

#include <delayimp.h>

#include "uninstall/engine_api.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qx {
namespace {

// The engine's import table as the helper found it before its first load:
// its descriptor and the stub address each slot held then.
struct EngineImports {
  PCImgDelayDescr descriptor = nullptr;
  FARPROC stubs[32] = {};
  unsigned count = 0;
};

EngineImports g_imports;

constexpr DWORD kEngineExitWaitMs = 5000;

// Descriptor fields are image-relative when the descriptor says so, and
// addresses otherwise.
template <typename T>
T* FromDescriptor(PCImgDelayDescr descriptor, DWORD value) {
  if (descriptor->grAttrs & dlattrRva) return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + value);
  return reinterpret_cast<T*>(static_cast<uintptr_t>(value));
}

// Before a load no slot has been bound yet, so every slot still holds its
// stub. A table with more slots than kept here is not recorded, and then
// never unloaded either.
void RecordStubs(PCImgDelayDescr descriptor) {
  EngineImports& imports = g_imports;
  if (imports.descriptor) return;
  FARPROC* slots = FromDescriptor<FARPROC>(descriptor, descriptor->rvaIAT);
  unsigned count = 0;
  while (slots[count]) {
    if (count == sizeof imports.stubs / sizeof imports.stubs[0]) return;
    imports.stubs[count] = slots[count];
    ++count;
  }
  imports.count = count;
  imports.descriptor = descriptor;
}

// Only the engine's own import is redirected. When the runtime folder's copy
// cannot be loaded, the load fails as the helper's own would: returning null
// would let the helper search by plain name after all. Its own imports come
// from the system folder.
// The helper names the library in ANSI characters.
bool IsEngineLibrary(const char* name) {
  wchar_t wide[MAX_PATH];
  return MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) > 0 &&
         lstrcmpiW(wide, contract::kEngineLibrary.wide) == 0;
}

FARPROC WINAPI LoadEngineFromRuntimeFolder(unsigned reason, PDelayLoadInfo info) {
  if (reason != dliNotePreLoadLibrary || !IsEngineLibrary(info->szDll)) return nullptr;
  const DWORD flags = Launcher().LibrarySearchFlags;
  RecordStubs(info->pidd);
  PathBuffer path;
  HMODULE engine = EngineLibraryPath(Launcher(), path) ? LoadLibraryExW(path.get(), nullptr, flags) : nullptr;
  if (!engine) RaiseException(kEngineNotLoaded, 0, 0, nullptr);
  return reinterpret_cast<FARPROC>(engine);
}

}  // namespace

bool EngineLibraryPath(const LauncherState& state, PathBuffer& path) {
  return path.assign(state.RuntimeFolder.get(), state.RuntimeFolderLength) && path.append(contract::kEngineLibrary.wide);
}

void UnloadEngine() {
  const EngineImports& imports = g_imports;
  if (!imports.descriptor) return;
  HMODULE* module = FromDescriptor<HMODULE>(imports.descriptor, imports.descriptor->rvaHmod);
  if (!*module) return;
  // The slots go back first: nothing may call through them into the library
  // once it is gone.
  FARPROC* slots = FromDescriptor<FARPROC>(imports.descriptor, imports.descriptor->rvaIAT);
  for (unsigned i = 0; i < imports.count; ++i) slots[i] = imports.stubs[i];
  FreeLibrary(*module);
  *module = nullptr;
  // A thread of the engine's own (the progress box's) holds the library
  // until it has ended; the runtime folder can only go after that.
  for (DWORD waited = 0; GetModuleHandleW(contract::kEngineLibrary.wide) && waited < kEngineExitWaitMs; waited += 10) Sleep(10);
}

}  // namespace qx

// The delay-load helper calls this before each library load (the launcher's
// CMakeLists.txt makes the linker take this definition over the runtime's).
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = qx::LoadEngineFromRuntimeFolder;
}
