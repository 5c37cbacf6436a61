// Move-only owners of Win32 handles. Closing keeps GetLastError intact, so an
// error read after a holder goes out of scope is the one that mattered.
#pragma once

#include <windows.h>

#include <utility>

namespace qx {

template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  // The holder keeps ownership: the caller must not close the value.
  T get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  T release() {
    T value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  void reset(T value = Traits::Invalid()) {
    if (valid()) {
      DWORD saved = GetLastError();
      Traits::Close(value_);
      SetLastError(saved);
    }
    value_ = value;
  }

  // For out-parameters: closes what is held and hands out the slot.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::Invalid();
};

struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct HandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY k) { RegCloseKey(k); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE m) { FreeLibrary(m); }
};
struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static void Close(HGDIOBJ o) { DeleteObject(o); }
};
struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static void Close(HWND w) { DestroyWindow(w); }
};
struct HeapBlockTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* p) { HeapFree(GetProcessHeap(), 0, p); }
};
struct LocalMemoryTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* p) { LocalFree(p); }
};
struct BoundaryTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { DeleteBoundaryDescriptor(h); }
};
struct NamespaceTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { ClosePrivateNamespace(h, 0); }
};

// CreateFile results: INVALID_HANDLE_VALUE is empty.
using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;
// Process, thread, event and mapping handles: null is empty.
using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
using UniqueFind = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueKey = UniqueResource<HKEY, RegKeyTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
// Fonts, brushes and bitmaps.
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;
using UniqueWindow = UniqueResource<HWND, WindowTraits>;
using UniqueHeapBlock = UniqueResource<void*, HeapBlockTraits>;
// What the platform's security calls return for the caller to free: security
// descriptors and their text.
using UniqueLocalMemory = UniqueResource<void*, LocalMemoryTraits>;
// A private namespace's boundary descriptor, and the namespace (closed, not
// destroyed: it goes when its last holder closes it).
using UniqueBoundary = UniqueResource<HANDLE, BoundaryTraits>;
using UniqueNamespace = UniqueResource<HANDLE, NamespaceTraits>;

}  // namespace qx
