#include "engine/win/platform/file_io.h"

#include "common/fixed_string.h"
#include "common/unique_resource.h"

namespace qx::engine {

bool ReadAll(HANDLE file, std::string& bytes, size_t limit) {
  bytes.clear();
  char chunk[16384];
  while (bytes.size() < limit) {
    const size_t room = limit - bytes.size();
    DWORD got = 0;
    if (!ReadFile(file, chunk, room < sizeof chunk ? static_cast<DWORD>(room) : DWORD{sizeof chunk}, &got, nullptr))
      return false;
    if (got == 0) return true;
    bytes.append(chunk, got);
  }
  return true;
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ReadAll(file.get(), bytes);
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool IsFileWithContent(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

bool CreateTemporaryFile(const wchar_t* folder, const wchar_t* prefix, core::Text& path) {
  FixedString<wchar_t, MAX_PATH> name;
  if (!GetTempFileNameW(folder, prefix, 0, name.writable())) return false;
  if (!name.commit(TextLength(name.writable()))) return false;
  path.assign(reinterpret_cast<const char16_t*>(name.get()), name.length());
  return true;
}

}  // namespace qx::engine
