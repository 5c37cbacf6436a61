#include "uninstall/container.h"

#include <windows.h>

#include <cstring>

#include "7z.h"
#include "7zCrc.h"
#include "common/unique_resource.h"
#include "uninstall/entry_name.h"
#include "uninstall/image_layout.h"
#include "uninstall/launcher.h"
#include "uninstall/paths.h"

namespace qx {
namespace {

constexpr size_t kHeadSize = 4096;
constexpr uint64_t kContainerHeaderSize = 18;

constexpr Byte kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr size_t kSearchBufferSize = 32768;
constexpr size_t kStartHeaderSize = 32;
// An entry name with its terminator must stay below this many units.
constexpr size_t kEntryNameLimit = 260;
constexpr size_t kLookBufferSize = 1 << 14;
constexpr size_t kWriteChunk = size_t(1) << 20;

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Read64(const unsigned char* p) {
  return static_cast<uint64_t>(Read32(p)) | static_cast<uint64_t>(Read32(p + 4)) << 32;
}

bool ReadExactly(HANDLE file, void* data, DWORD size) {
  DWORD got = 0;
  return ReadFile(file, data, size, &got, nullptr) && got == size;
}

void EnsureCrcTable() {
  static const bool built = (CrcGenerateTable(), true);
  (void)built;
}

// Both allocators of the archive library take blocks from the process heap;
// a request for 0 bytes yields no block.
void* HeapAllocBlock(ISzAllocPtr, size_t size) {
  return size ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
}
void HeapFreeBlock(ISzAllocPtr, void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
const ISzAlloc kMainAlloc = {HeapAllocBlock, HeapFreeBlock};
const ISzAlloc kTempAlloc = {HeapAllocBlock, HeapFreeBlock};

// The launcher's own file opened as the archive stream; closed on every path.
struct ArchiveFile {
  CFileInStream stream;
  ArchiveFile() {
    FileInStream_CreateVTable(&stream);
    File_Construct(&stream.file);
  }
  ~ArchiveFile() { File_Close(&stream.file); }
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;
};

struct ArchiveDatabase {
  CSzArEx db;
  ArchiveDatabase() { SzArEx_Init(&db); }
  ~ArchiveDatabase() { SzArEx_Free(&db, &kMainAlloc); }
  ArchiveDatabase(const ArchiveDatabase&) = delete;
  ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;
};

// The solid-block cache: one decoded block, reused by all its entries.
struct BlockCache {
  UInt32 block_index = 0xFFFFFFFF;
  Byte* buffer = nullptr;
  size_t buffer_size = 0;
  BlockCache() = default;
  ~BlockCache() { ISzAlloc_Free(&kMainAlloc, buffer); }
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;
};

// Each file is created new: a name that exists already (planted, or twice in
// the archive) fails the start and is never written over or reused.
int WriteEntryFile(const wchar_t* path, const Byte* data, size_t size) {
  UniqueFile out(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return StatusRuntime;
  while (size > 0) {
    const DWORD chunk = size > kWriteChunk ? kWriteChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(out.get(), data, chunk, &written, nullptr) || written != chunk) return StatusRuntime;
    data += chunk;
    size -= chunk;
  }
  // The close result matters only when the write went well.
  return CloseHandle(out.release()) ? 0 : static_cast<int>(GetLastError());
}

int ExtractEntries(LauncherState& state, const CSzArEx& db, CLookToRead2& look) {
  // Entries without names cannot be placed; the library has no offsets then.
  if (db.NumFiles > 0 && !db.FileNameOffsets) return StatusCorrupt;
  PathBuffer& path = state.RuntimeFolder;
  const size_t base = state.RuntimeFolderLength;
  BlockCache cache;
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    size_t offset = 0;
    size_t processed = 0;
    size_t units = SzArEx_GetFileNameUtf16(&db, i, nullptr);
    if (units >= kEntryNameLimit || base + units > PathBuffer::capacity()) return StatusRuntime;
    path.truncate(base);
    SzArEx_GetFileNameUtf16(&db, i, reinterpret_cast<UInt16*>(path.writable() + base));
    path.commit(base + units - 1);
    if (!IsContainedEntryName(path.get() + base)) return StatusCorrupt;

    SRes result = SzArEx_Extract(&db, &look.vt, i, &cache.block_index, &cache.buffer, &cache.buffer_size,
                                 &offset, &processed, &kMainAlloc, &kTempAlloc);
    if (result != SZ_OK) return result;

    // Folders named on the way ("a/b/c.txt") are created level by level.
    for (size_t k = base; k < path.length(); ++k) {
      if (path[k] != L'/') continue;
      PathBuffer folder;
      if (folder.assign(path.get(), k)) CreateFolderPath(folder.get());
      path.writable()[k] = L'\\';
    }
    if (SzArEx_IsDir(&db, i)) {
      CreateFolderPath(path.get());
      continue;
    }
    int status = WriteEntryFile(path.get(), cache.buffer + offset, processed);
    if (status != 0) return status;
  }
  return 0;
}

}  // namespace

bool ReadContainerHeader(LauncherState& state) {
  state.ContainerStart = 0;
  state.ArchiveOffset = 0;
  UniqueFile& file = state.LauncherFile;
  file.reset(CreateFileW(state.LauncherPath.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  unsigned char head[kHeadSize];
  DWORD got = 0;
  if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return false;
  uint32_t start = 0;
  if (!FindContainerStart(head, got, kOwnOptionalHeaderSize, start)) return false;
  state.ContainerStart = start;

  uint64_t magic_end = static_cast<uint64_t>(start) + 2;
  LONG high = static_cast<LONG>(magic_end >> 32);
  SetLastError(NO_ERROR);
  if (SetFilePointer(file.get(), static_cast<LONG>(magic_end & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return false;
  }
  unsigned char field[8];
  if (!ReadExactly(file.get(), field, sizeof field)) return false;
  state.ArchiveOffset = Read64(field);
  if (!ReadExactly(file.get(), field, sizeof field)) return false;
  state.TotalSize = Read64(field);
  return true;
}

bool ArchiveSearchStart(const LauncherState& state, uint64_t& position) {
  uint64_t after_header = state.ContainerStart + kContainerHeaderSize;
  if (state.ArchiveOffset > UINT64_MAX - after_header) return false;
  position = after_header + state.ArchiveOffset;
  return true;
}

bool FindArchiveSignature(CSzFile* file, uint64_t& position) {
  EnsureCrcTable();
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  Int64 seek = static_cast<Int64>(position);
  if (File_Seek(file, &seek, SZ_SEEK_SET) != 0) return false;

  Byte buffer[kSearchBufferSize];
  size_t kept = 0;
  for (;;) {
    size_t got = kSearchBufferSize - kept;
    if (File_Read(file, buffer + kept, &got) != 0 || got == 0) return false;
    size_t filled = kept + got;
    if (filled <= kStartHeaderSize) {
      kept = filled;
      continue;
    }
    // Each position is tested once, as soon as a whole start header follows it.
    size_t limit = filled - kStartHeaderSize;
    for (size_t p = 0; p < limit; ++p) {
      if (buffer[p] != kSignature[0]) continue;
      if (std::memcmp(buffer + p, kSignature, sizeof kSignature) == 0 &&
          CrcCalc(buffer + p + 12, 20) == Read32(buffer + p + 8)) {
        position += p;
        return true;
      }
    }
    position += limit;
    std::memmove(buffer, buffer + limit, kStartHeaderSize);
    kept = kStartHeaderSize;
  }
}

int ExtractPayload(LauncherState& state) {
  EnsureCrcTable();
  ArchiveFile archive;
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  Byte look_buffer[kLookBufferSize];
  look.buf = look_buffer;
  look.bufSize = sizeof look_buffer;

  int status = 0;
  uint64_t position = 0;
  archive.stream.file.handle = state.LauncherFile.release();
  if (archive.stream.file.handle == INVALID_HANDLE_VALUE) {
    status = StatusCorrupt;
  } else if (!ArchiveSearchStart(state, position) || !FindArchiveSignature(&archive.stream.file, position)) {
    status = StatusCorrupt;
  } else {
    Int64 seek = static_cast<Int64>(position);
    if (File_Seek(&archive.stream.file, &seek, SZ_SEEK_SET) != 0) status = StatusCorrupt;
  }
  if (status == 0) {
    look.realStream = &archive.stream.vt;
    LookToRead2_INIT(&look);
  }
  ArchiveDatabase database;
  // The library takes the current file position as the archive's start.
  if (status == 0 && SzArEx_Open(&database.db, &look.vt, &kMainAlloc, &kTempAlloc) != SZ_OK) {
    status = StatusCorrupt;
  }
  if (status == 0) status = ExtractEntries(state, database.db, look);
  return status;
}

}  // namespace qx
