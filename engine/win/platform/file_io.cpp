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

bool IsFileWithContent(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

bool CreateTemporaryFile(const std::wstring& folder, const wchar_t* prefix, std::wstring& path) {
  FixedString<wchar_t, MAX_PATH> name;
  if (!GetTempFileNameW(folder.c_str(), prefix, 0, name.writable())) return false;
  if (!name.commit(TextLength(name.writable()))) return false;
  path = name.get();
  return true;
}

}  // namespace qx::engine
