#include "uninstall/restart_delete.h"

#include "common/file_identity.h"
#include "common/fixed_string.h"
#include "common/path_links.h"
#include "common/unique_resource.h"
#include "uninstall/engine_api.h"
#include "uninstall/paths.h"

namespace qx {
namespace {

constexpr char kHeader[] = "[Rename]\r\n";
constexpr size_t kHeaderLength = sizeof kHeader - 1;
constexpr DWORD kDelayedDelete = MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT;
constexpr size_t kFallbackChars = 1024;

// The fallback's buffers, reused on every call: the short path (which also
// receives the Windows folder), and the 8-bit line.
struct RenameBuffers {
  FixedString<wchar_t, kFallbackChars> short_path;
  char line[kFallbackChars];
};
RenameBuffers g_buffers;

// |text| in the ANSI code page into |out| (|capacity| bytes with the
// terminator); false when it does not fit or a character has no exact
// equivalent there, since a best-fit stand-in could name another file.
bool ToAnsi(const wchar_t* text, char* out, int capacity, int& length) {
  BOOL lossy = FALSE;
  length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, capacity, nullptr, &lossy);
  if (length <= 0 || lossy) return false;
  --length;  // the terminator
  return true;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }

// Whether |path| is a temporary copy as a first stage makes it: "qxu*.tmp"
// in a folder "qxu" and 8 hexadecimal digits of |temp_folder|. Nothing else
// that a process handle names is ever deleted.
bool IsCopyInItsFolder(const PathBuffer& path, PathBuffer& temp_folder) {
  const size_t name = FolderPartLength(path.get(), path.length());
  const size_t folder = FolderPartLength(path.get(), name);
  const wchar_t* text = path.get();
  if (name - folder != 12 || CompareStringOrdinal(text + folder + 1, 3, L"qxu", 3, TRUE) != CSTR_EQUAL ||
      CompareStringOrdinal(text + name + 1, 3, L"qxu", 3, TRUE) != CSTR_EQUAL ||
      path.length() < name + 5 || CompareStringOrdinal(text + path.length() - 4, 4, L".tmp", 4, TRUE) != CSTR_EQUAL) {
    return false;
  }
  for (size_t i = folder + 4; i < name; ++i)
    if (!IsHexDigit(text[i])) return false;
  PathBuffer parent;
  if (!parent.assign(text, folder)) return false;
  StripFileName(temp_folder);
  return IsSameFile(parent.get(), temp_folder.get());
}

}  // namespace

size_t FindTextNoCase(const char* text, size_t length, const char* pattern, size_t from) {
  const int n = lstrlenA(pattern);
  for (size_t at = from; at <= length && length - at >= static_cast<size_t>(n);) {
    if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text + at, n, pattern, n) == CSTR_EQUAL) return at;
    // CharNextA does not step over a zero byte, so the search ends at the
    // first one even inside the file: the rest could never be reached by
    // stepping character by character.
    const char* next = CharNextA(text + at);
    if (next == text + at) break;
    at = static_cast<size_t>(next - text);
  }
  return length;
}

HANDLE OpenFileKeepAttributes(const wchar_t* path, DWORD access, DWORD disposition) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = 0;
  return CreateFileW(path, access, FILE_SHARE_READ, nullptr, disposition, attributes, nullptr);
}

bool AddRenameLine(const wchar_t* file, const char* line, size_t length) {
  UniqueFile handle(OpenFileKeepAttributes(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  if (!handle) return false;
  DWORD high = 0;
  const DWORD size = GetFileSize(handle.get(), &high);
  // The whole file is rewritten from one block: a file of gigabytes is no
  // restart-rename file.
  if (size == INVALID_FILE_SIZE || high != 0 || size > 0x10000000) return false;

  const size_t total = size + length + kHeaderLength;
  UniqueHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total + 1));
  if (!block) return false;
  char* text = static_cast<char*>(block.get());
  DWORD read = 0;
  if (!ReadFile(handle.get(), text, size, &read, nullptr) || read != size) return false;

  size_t end = size;
  const size_t header = FindTextNoCase(text, size, kHeader);
  size_t at = size;
  if (header != size) {
    // Before the next section's "[" line, or at the end. The search starts
    // at the header's own line feed, so that a section right after an empty
    // "[Rename]" is found too.
    const size_t next = FindTextNoCase(text, size, "\n[", header + kHeaderLength - 1);
    if (next != size) {
      at = next + 1;
      MoveMemory(text + at + length, text + at, size - at);
    }
  } else {
    CopyMemory(text + end, kHeader, kHeaderLength);
    at = end + kHeaderLength;
    end += kHeaderLength;
  }
  CopyMemory(text + at, line, length);
  end += length;

  DWORD written = 0;
  if (SetFilePointer(handle.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  return WriteFile(handle.get(), text, static_cast<DWORD>(end), &written, nullptr) && written == end;
}

bool AddRenameSectionEntry(const wchar_t* path) {
  RenameBuffers& b = g_buffers;
  const DWORD units = GetShortPathNameW(path, b.short_path.writable(), kFallbackChars);
  if (units == 0 || units >= kFallbackChars) return false;
  b.short_path.commit(units);

  // "NUL=" (delete), the short path, CR LF. A line that does not fit is not
  // written at all: cut, it would name another file.
  constexpr char kDelete[] = "NUL=";
  constexpr size_t kDeleteLength = sizeof kDelete - 1;
  int path_length = 0;
  if (!ToAnsi(b.short_path.get(), b.line + kDeleteLength, static_cast<int>(sizeof b.line - kDeleteLength),
              path_length)) {
    return false;
  }
  const size_t length = kDeleteLength + static_cast<size_t>(path_length) + 2;
  if (length >= sizeof b.line) return false;
  CopyMemory(b.line, kDelete, kDeleteLength);
  b.line[length - 2] = '\r';
  b.line[length - 1] = '\n';

  // The Windows folder's own restart-rename file.
  const int bytes = EvalVarBuf(contract::kWindowsFolder.reference, b.short_path.writable(), 2 * kFallbackChars);
  if (bytes <= 0) return false;
  b.short_path.commit(static_cast<size_t>(bytes) / 2);
  if (!b.short_path.append(L"\\wininit.ini")) return false;
  return AddRenameLine(b.short_path.get(), b.line, length);
}

bool ScheduleDeleteAtRestart(const wchar_t* path) {
  // Only what is there now, and never through a link: whatever is put at a
  // missing path, or behind a link, before the restart would go with it. On
  // another machine's volume the restart deletes nothing.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || PassesThroughLink(path) || !CanActAtRestart(path)) return false;
  HMODULE kernel = GetModuleHandleW(L"Kernel32");
  if (!kernel) kernel = LoadLibraryW(L"Kernel32");
  using MoveFileExFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  FARPROC proc = kernel ? GetProcAddress(kernel, "MoveFileExW") : nullptr;
  if (proc && reinterpret_cast<MoveFileExFunction>(reinterpret_cast<void*>(proc))(path, nullptr, kDelayedDelete)) {
    return true;
  }
  // The restart-rename file deletes files only.
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && AddRenameSectionEntry(path);
}

bool ScheduleCopyAtRestart(const wchar_t* path) {
  PathBuffer folder;
  if (!folder.assign(path)) return false;
  StripFileName(folder);
  // The folder after the file: the restart removes it once empty.
  return ScheduleDeleteAtRestart(path) && ScheduleDeleteAtRestart(folder.get());
}

void RemoveUnfinishedCopy(HANDLE copy) {
  PathBuffer path, temp_folder;
  DWORD length = kPlatformPathLength;
  if (!QueryFullProcessImageNameW(copy, 0, path.writable(), &length) || !path.commit(length) ||
      !temp_folder.commit(TemporaryFolderPath(temp_folder.writable(), kPlatformPathLength)) ||
      !IsCopyInItsFolder(path, temp_folder)) {
    return;
  }
  if (!DeleteFileW(path.get()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    ScheduleCopyAtRestart(path.get());
    return;
  }
  StripFileName(path);
  RemoveDirectoryW(path.get());
}

}  // namespace qx
