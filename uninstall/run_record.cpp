#include "uninstall/run_record.h"

#include "common/file_identity.h"
#include "common/unique_resource.h"
#include "engine/core/uninstall_start_rules.h"
#include "uninstall/exit_codes.h"
#include "uninstall/launcher.h"

namespace qx {
namespace {

// Whole UTF-16 units per conversion; a surrogate pair is never split.
constexpr int kChunkUnits = 256;

// A record is a plain file with one name: a link, a folder or a file with
// more names (a hard link) would let whoever made it steer what is written,
// or read it.
bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(file, &information) &&
         !(information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
         information.nNumberOfLinks == 1;
}

// An existing record goes first, so that the new one is this run's own file
// (its owner, the folder's access), never one that somebody made before.
// Nothing is followed: a link is refused, not replaced.
HANDLE CreateRecord(const wchar_t* record) {
  UniqueFile existing(CreateFileW(record, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (existing) {
    FILE_DISPOSITION_INFO gone{TRUE};
    if (!IsPlainFile(existing.get()) ||
        !SetFileInformationByHandle(existing.get(), FileDispositionInfo, &gone, sizeof gone)) {
      return INVALID_HANDLE_VALUE;
    }
  }
  existing.reset();
  return CreateFileW(record, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

HANDLE OpenRecord(const wchar_t* record) {
  UniqueFile file(CreateFileW(record, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file && IsPlainFile(file.get()) ? file.release() : INVALID_HANDLE_VALUE;
}

class RecordWriter {
 public:
  RecordWriter(const wchar_t* record, DWORD disposition)
      : file_(disposition == OPEN_EXISTING ? OpenRecord(record) : CreateRecord(record)) {}

  void Ascii(const char* text) { Write(text, lstrlenA(text)); }

  void Number(unsigned value) {
    char digits[16];
    Write(digits, wsprintfA(digits, "%u", value));
  }

  void Text(const wchar_t* text) {
    int length = lstrlenW(text);
    while (length > 0) {
      int units = length < kChunkUnits ? length : kChunkUnits;
      if (units < length && IS_HIGH_SURROGATE(text[units - 1])) --units;
      char bytes[kChunkUnits * 3];
      Write(bytes, WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, sizeof bytes, nullptr, nullptr));
      text += units;
      length -= units;
    }
  }

  void Time() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    Write(text, wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                          now.wMinute, now.wSecond));
  }

 private:
  void Write(const char* bytes, int length) {
    DWORD written = 0;
    if (file_ && length > 0) WriteFile(file_.get(), bytes, static_cast<DWORD>(length), &written, nullptr);
  }

  UniqueFile file_;
};

// The FILEVERSION of the program's own version block.
bool OwnVersion(DWORD& high, DWORD& low) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const auto* block = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  // The fixed part follows the block's header and its key "VS_VERSION_INFO",
  // aligned to 32 bits: 40 bytes in.
  constexpr DWORD kFixedOffset = 40;
  if (!block || SizeofResource(nullptr, resource) < kFixedOffset + sizeof(VS_FIXEDFILEINFO)) return false;
  const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(block + kFixedOffset);
  if (fixed->dwSignature != 0xFEEF04BD) return false;
  high = fixed->dwFileVersionMS;
  low = fixed->dwFileVersionLS;
  return true;
}

template <typename Function>
Function SecurityFunction(const char* name) {
  HMODULE library = LoadLibraryExW(L"advapi32.dll", nullptr, Launcher().LibrarySearchFlags);
  FARPROC proc = library ? GetProcAddress(library, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

void WriteUser(RecordWriter& writer) {
  using GetUserNameFunction = BOOL(WINAPI*)(LPWSTR, LPDWORD);
  using OpenTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
  using TokenInformationFunction = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
  wchar_t name[257];
  DWORD length = 257;
  auto get_user_name = SecurityFunction<GetUserNameFunction>("GetUserNameW");
  writer.Ascii("User ");
  writer.Text(get_user_name && get_user_name(name, &length) ? name : L"(unknown)");
  auto open_token = SecurityFunction<OpenTokenFunction>("OpenProcessToken");
  auto token_information = SecurityFunction<TokenInformationFunction>("GetTokenInformation");
  UniqueHandle token;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known = open_token && token_information && open_token(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
                     token_information(token.get(), TokenElevation, &elevation, sizeof elevation, &size);
  writer.Ascii(!known ? ", elevation unknown\r\n" : elevation.TokenIsElevated ? ", elevated\r\n" : ", not elevated\r\n");
}

}  // namespace

bool ResolveRecordPath(const wchar_t* given, PathBuffer& full) {
  if (!given || !*given) return false;
  const DWORD length = GetFullPathNameW(given, kPlatformPathLength, full.writable(), nullptr);
  if (length == 0 || length >= kPlatformPathLength) {
    full.commit(0);
    return false;
  }
  return full.commit(length);
}

bool IsAcceptableRecord(const wchar_t* record, const wchar_t* installed_uninstaller, const wchar_t* launcher_path) {
  if (GetFileAttributesW(record) != INVALID_FILE_ATTRIBUTES) {
    UniqueFile existing(CreateFileW(record, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr));
    if (!existing || !IsPlainFile(existing.get())) return false;
  }
  PathSink log;
  core::LogPathInto(reinterpret_cast<const char16_t*>(installed_uninstaller), log);
  return log.fits && !IsSameFile(record, log.path.get()) &&
         !IsSameFile(record, installed_uninstaller) && !IsSameFile(record, launcher_path);
}

void StartRunRecord(const wchar_t* record, const wchar_t* launcher_path) {
  RecordWriter writer(record, CREATE_ALWAYS);
  writer.Ascii("Uninstallation started ");
  writer.Time();
  writer.Ascii("\r\nCommand line ");
  writer.Text(GetCommandLineW());
  writer.Ascii("\r\nUninstaller ");
  writer.Text(launcher_path);
  DWORD high = 0, low = 0;
  if (OwnVersion(high, low)) {
    writer.Ascii(", version ");
    for (unsigned part : {HIWORD(high), LOWORD(high), HIWORD(low)}) {
      writer.Number(part);
      writer.Ascii(".");
    }
    writer.Number(LOWORD(low));
  }
  OSVERSIONINFOW system{};
  system.dwOSVersionInfoSize = sizeof system;
  if (GetVersionExW(&system)) {
    writer.Ascii("\r\nWindows ");
    writer.Number(system.dwMajorVersion);
    writer.Ascii(".");
    writer.Number(system.dwMinorVersion);
    writer.Ascii(", build ");
    writer.Number(system.dwBuildNumber);
  }
  writer.Ascii("\r\n");
  WriteUser(writer);
}

void EndRunRecord(const wchar_t* record, const ExitDecision& exit) {
  RecordWriter writer(record, OPEN_EXISTING);
  writer.Ascii("Uninstallation ended ");
  writer.Time();
  char line[32];
  wsprintfA(line, "\r\nExit code %d: ", exit.code);
  writer.Ascii(line);
  writer.Ascii(exit.meaning);
  writer.Ascii("\r\n");
}

}  // namespace qx
