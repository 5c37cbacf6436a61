#include "engine/win/platform/file_data.h"

#include <windows.h>

#include "engine/core/crc32.h"
#include "engine/win/platform/file_io.h"
#include "common/unique_resource.h"

namespace qx::engine {

namespace {

UniqueFile OpenForReading(const wchar_t* path) {
  return UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool AppendTextToFile(const wchar_t* path, core::TextView text, bool line_end) {
  UniqueFile file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
  std::string bytes = core::Utf16ToUtf8(text);
  if (line_end) bytes += "\r\n";
  return WriteAll(file.get(), bytes);
}

bool FileChecksum(const wchar_t* path, uint32_t& crc) {
  UniqueFile file = OpenForReading(path);
  if (!file) return false;
  core::Crc32 sum;
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) break;
    sum.Update(chunk, got);
  }
  crc = sum.value();
  return true;
}

bool FileSize(const wchar_t* path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace qx::engine
