#include "uninstall/paths.h"

#include "common/unique_resource.h"

namespace qx {

bool PathExists(const wchar_t* path) {
  WIN32_FIND_DATAW data;
  UniqueFind search(FindFirstFileW(path, &data));
  return search.valid();
}

DWORD TemporaryFolderPath(wchar_t* buffer, DWORD capacity) {
  using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
  HMODULE kernel = GetModuleHandleW(L"Kernel32");
  FARPROC proc = kernel ? GetProcAddress(kernel, "GetTempPath2W") : nullptr;
  if (proc) return reinterpret_cast<TempPathFunction>(reinterpret_cast<void*>(proc))(capacity, buffer);
  return GetTempPathW(capacity, buffer);
}

size_t FolderPartLength(const wchar_t* path, size_t length) {
  for (wchar_t separator : {L'\\', L'/'}) {
    for (size_t i = length; i > 0; --i) {
      if (path[i - 1] == separator) return i - 1;
    }
  }
  // A drive letter and its colon stay: "C:name" is the current folder of C:.
  for (size_t i = length; i > 0; --i) {
    if (path[i - 1] == L':') return i;
  }
  return 0;
}

void StripFileName(PathBuffer& path) {
  path.truncate(FolderPartLength(path.get(), path.length()));
}

DWORD CreateFolderPath(const wchar_t* path) {
  FixedString<wchar_t, kPlatformPathLength> copy;
  if (!copy.assign(path)) return ERROR_FILENAME_EXCED_RANGE;
  if (!copy.empty() && copy[copy.length() - 1] == L'/') copy.truncate(copy.length() - 1);

  // Each prefix ending at a separator is one level; the text is ended there
  // for the platform calls and the separator comes back as "\".
  wchar_t* text = copy.writable();
  for (size_t i = 0; i < copy.length(); ++i) {
    if (text[i] != L'\\' && text[i] != L'/') continue;
    text[i] = 0;
    // A level that cannot be made shows up in the final creation's error.
    if (GetFileAttributesW(text) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(text, nullptr);
    text[i] = L'\\';
  }
  if (GetFileAttributesW(text) != INVALID_FILE_ATTRIBUTES) return 0;
  if (!CreateDirectoryW(text, nullptr)) return GetLastError();
  return 0;
}

}  // namespace qx
