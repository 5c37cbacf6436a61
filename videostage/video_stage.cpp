#include "video_stage.h"

#include <windows.h>

#include "common/fixed_string.h"
#include "common/unique_resource.h"
#include "slice_copy.h"
#include "staged_path.h"

namespace videostage {
namespace {

constexpr char kProfile[] = "setting.ini";
constexpr char kCaption[] = "Video staging";
constexpr size_t kSourceChars = 400;
// Large enough to keep the copy near the platform's own speed, small enough
// that a source of any size runs in a few MiB.
constexpr size_t kCopyBufferBytes = 1 << 20;

using SourcePath = qx::FixedString<char, kSourceChars>;
using WorkingDirectory = qx::FixedString<char, kPathBytes>;

void ShowMessage(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_OK); }

// Profile writes report nothing: a reader of the profile sees what reached it.
void WriteValue(const char* section, const char* key, const char* value) {
  WritePrivateProfileStringA(section, key, value, kProfile);
}

void RecordFailure(const char* message) {
  ShowMessage(message);
  WriteValue("VIDEO", "ProcessPathError", "0");
}

void ReadSourcePath(SourcePath& source) {
  const DWORD n = GetPrivateProfileStringA("VIDEO", "Path", "", source.writable(),
                                           static_cast<DWORD>(source.capacity()), kProfile);
  if (!source.commit(n)) source.clear();
}

// A directory that cannot be read, or does not fit, becomes "." so that the
// staged path still names the current directory.
void ReadWorkingDirectory(WorkingDirectory& directory) {
  const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(directory.capacity()), directory.writable());
  if (n == 0 || !directory.commit(n)) {
    ShowMessage("Your systemRoot is error!");
    // Two characters always fit; an empty directory would do as well.
    if (!directory.assign(".")) directory.clear();
  }
}

uint64_t QuerySize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class FileReader final : public ByteSource {
 public:
  explicit FileReader(HANDLE file) : file_(file) {}
  size_t Read(void* buffer, size_t count) override {
    DWORD got = 0;
    if (!ReadFile(file_, buffer, static_cast<DWORD>(count), &got, nullptr)) return 0;
    return got;
  }

 private:
  HANDLE file_;
};

class FileWriter final : public ByteSink {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}
  size_t Write(const void* data, size_t count) override {
    DWORD put = 0;
    if (!WriteFile(file_, data, static_cast<DWORD>(count), &put, nullptr)) return 0;
    return put;
  }

 private:
  HANDLE file_;
};

bool CopyFileInSlices(HANDLE source, HANDLE staged, uint64_t size) {
  qx::UniqueHeapBlock buffer(HeapAlloc(GetProcessHeap(), 0, kCopyBufferBytes));
  if (!buffer) return false;
  FileReader reader(source);
  FileWriter writer(staged);
  return CopySlices(reader, writer, size, buffer.get(), kCopyBufferBytes) == size;
}

}  // namespace

void RunVideoStage() {
  SourcePath source;
  ReadSourcePath(source);

  WorkingDirectory directory;
  ReadWorkingDirectory(directory);

  WriteValue("VIDEO", "ProcessPathError", "1");

  // A chosen name whose path does not fit leaves |staged| empty: it then
  // counts as a staged file that cannot be opened.
  StagedPath staged;
  bool stageable = false;
  for (const StagingRule& rule : kStagingRules) {
    if (!MatchesRule(rule, source.get())) continue;
    stageable = FormatStagedPath(directory.get(), rule.name, staged);
    if (stageable) DeleteFileA(staged.get());
  }

  WriteValue("VIDEO2", "Path2", source.get());

  const uint64_t size = QuerySize(source.get());

  // Shared like the C runtime's "rb": another program may have the video open.
  qx::UniqueFile in(CreateFileA(source.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) {
    RecordFailure("Error(0x04)");
    WriteValue("VIDEO3", "Path3", staged.get());
    return;
  }

  WriteValue("VIDEO3", "Path3", staged.get());

  qx::UniqueFile out;
  if (stageable) {
    out.reset(CreateFileA(staged.get(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!out) {
    RecordFailure("Error(0x07)");
    return;
  }

  if (!CopyFileInSlices(in.get(), out.get(), size)) RecordFailure("Error(0x07)");
}

}  // namespace videostage
