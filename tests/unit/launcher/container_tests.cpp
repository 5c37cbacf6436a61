// Container header, archive signature search and payload extraction.
#include <cstring>

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "pe_head.h"
#include "test_support.h"
#include "common/unique_resource.h"
#include "uninstall/container.h"
#include "uninstall/image_layout.h"
#include "uninstall/launcher.h"

using namespace qxtest;

namespace {

// The first 4,096 bytes of an image of this build's own format.
std::string Head(uint32_t pe, std::initializer_list<qxtest::Section> sections) {
  return qxtest::ImageHead(pe, sections, qx::kOwnOptionalHeaderSize);
}

uint32_t Crc32(const char* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<unsigned char>(data[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

// A 7z start header; |good| decides whether its CRC matches.
std::string StartHeader(bool good = true) {
  std::string h("7z\xBC\xAF\x27\x1C\x00\x04", 8);
  h.append(4, '\0');
  for (int i = 0; i < 20; ++i) h += static_cast<char>(i * 13 + 1);
  PutLittleEndian(h, 8, Crc32(h.data() + 12, 20) ^ (good ? 0 : 1), 4);
  return h;
}

std::string Filler(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 37) & 0x7F);
  return s;
}

// Runs the signature search over |stream| from |start|; -1 when not found.
long long Search(const std::string& stream, uint64_t start = 0) {
  Scratch dir;
  std::wstring path = dir.file(L"stream.bin");
  CHECK(WriteBytes(path, stream));
  CSzFile file;
  File_Construct(&file);
  CHECK_EQ(InFile_OpenW(&file, path.c_str()), 0u);
  uint64_t position = start;
  bool found = qx::FindArchiveSignature(&file, position);
  File_Close(&file);
  return found ? static_cast<long long>(position) : -1;
}

// A launcher file holding |archive| after an 18-byte header at offset 0, and
// a runtime folder to extract into.
struct Extraction {
  Scratch dir;
  std::wstring launcher = dir.file(L"launcher.bin");
  std::wstring runtime = dir.file(L"qxRUNTIME\\");
  qx::LauncherState state;

  explicit Extraction(const std::string& archive, const std::string& gap = "") {
    CHECK(WriteBytes(launcher, std::string("QX") + std::string(16, '\0') + gap + archive));
    CHECK(CreateDirectoryW(runtime.c_str(), nullptr));
    CHECK(state.LauncherPath.assign(launcher.c_str()));
    CHECK(state.RuntimeFolder.assign(runtime.c_str()));
    state.RuntimeFolderLength = static_cast<uint32_t>(runtime.size());
  }

  int Run() {
    state.LauncherFile.reset(CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    int status = qx::ExtractPayload(state);
    // No handle to the launcher file stays open.
    CHECK(DeleteFileW(launcher.c_str()));
    CHECK(std::wstring(state.RuntimeFolder.get()).compare(0, runtime.size(), runtime) == 0);
    return status;
  }
};

std::string Archive(const wchar_t* name) {
  std::string data = ReadBytes(Fixture(name));
  CHECK(data != "<missing>");
  return data;
}

}  // namespace

TEST_CASE("ReadContainerHeader reads both fields after the image") {
  Scratch dir;
  std::string image = Head(0x80, {{0x1000, 0x200}});
  image.resize(0x1200, 'i');
  std::string header = "QX";
  header += std::string("\x05\x00\x00\x00\x00\x00\x00\x00", 8);
  header += std::string("\x34\x12\x00\x00\x01\x00\x00\x00", 8);
  CHECK(WriteBytes(dir.file(L"image.exe"), image + header + "archive"));
  qx::LauncherState state;
  CHECK(state.LauncherPath.assign(dir.file(L"image.exe").c_str()));
  CHECK(qx::ReadContainerHeader(state));
  CHECK_EQ(state.ContainerStart, 0x1200u);
  CHECK_EQ(state.ArchiveOffset, 5ull);
  CHECK_EQ(state.TotalSize, 0x100001234ull);
  uint64_t position = 0;
  CHECK(qx::ArchiveSearchStart(state, position));
  CHECK_EQ(position, 0x1200ull + 18 + 5);
}

TEST_CASE("A short or missing container header fails ReadContainerHeader") {
  Scratch dir;
  std::string image = Head(0x80, {{0x1000, 0x200}});
  image.resize(0x1200, 'i');
  qx::LauncherState state;
  CHECK(state.LauncherPath.assign(dir.file(L"image.exe").c_str()));
  CHECK(!qx::ReadContainerHeader(state));  // no file at all
  CHECK(!state.LauncherFile);
  // The file stays open, shared for reading and deleting only.
  for (const std::string& container : {std::string(), "QX" + std::string(15, '\1')}) {
    state.LauncherFile.reset();
    CHECK(WriteBytes(dir.file(L"image.exe"), image + container));
    CHECK(!qx::ReadContainerHeader(state));
    CHECK(state.LauncherFile);
  }
  state.LauncherFile.reset();
  CHECK(WriteBytes(dir.file(L"image.exe"), image + "QX" + std::string(16, '\1')));
  CHECK(qx::ReadContainerHeader(state));
  CHECK(!WriteBytes(dir.file(L"image.exe"), image));
  CHECK(MoveFileW(dir.file(L"image.exe").c_str(), dir.file(L"moved.exe").c_str()));
}

TEST_CASE("An ArchiveOffset that overflows the search start is refused") {
  qx::LauncherState state;
  state.ContainerStart = 100;
  state.ArchiveOffset = UINT64_MAX - 100;
  uint64_t position = 0;
  CHECK(!qx::ArchiveSearchStart(state, position));
}

TEST_CASE("The signature search finds start headers anywhere, across buffer refills") {
  std::string tail = Filler(100);
  CHECK_EQ(Search(StartHeader() + tail), 0ll);
  for (size_t at : {size_t{5}, size_t{32735}, size_t{32736}, size_t{32760}, size_t{32768}, size_t{65520},
                    size_t{100000}}) {
    CHECK_EQ(Search(Filler(at) + StartHeader() + tail), static_cast<long long>(at));
  }
  // Searching from an offset still reports the absolute position.
  CHECK_EQ(Search(Filler(300) + StartHeader() + tail, 120), 300ll);
  CHECK_EQ(Search(Filler(300) + StartHeader() + tail, 301), -1ll);
}

TEST_CASE("A signature copy with a bad CRC is passed over") {
  std::string stream = Filler(50) + StartHeader(false) + Filler(7) + StartHeader() + Filler(40);
  CHECK_EQ(Search(stream), 50ll + 32 + 7);
  CHECK_EQ(Search(Filler(50) + StartHeader(false) + Filler(400)), -1ll);
  // The 6 signature bytes alone, overlapping the real header, do not confuse it.
  CHECK_EQ(Search(std::string("7z\xBC\xAF\x27\x1C", 6) + StartHeader() + Filler(40)), 6ll);
}

TEST_CASE("The last 32 bytes of the file are never tested") {
  CHECK_EQ(Search(Filler(1000) + StartHeader()), -1ll);
  CHECK_EQ(Search(Filler(1000) + StartHeader() + "x"), 1000ll);
  CHECK_EQ(Search(StartHeader()), -1ll);
  CHECK_EQ(Search(""), -1ll);
  CHECK_EQ(Search(Filler(10), 5000), -1ll);
}

TEST_CASE("Folder entries and nested names land inside the runtime folder") {
  Extraction x(Archive(L"nested.7z"));
  CHECK_EQ(x.Run(), 0);
  CHECK(IsFolder(x.runtime + L"data"));
  CHECK(IsFolder(x.runtime + L"data\\sub"));
  CHECK_EQ(ReadBytes(x.runtime + L"data\\a.txt").size(), size_t{7 * 50});
  CHECK_EQ(ReadBytes(x.runtime + L"data\\sub\\b.txt").size(), size_t{6 * 70});
}

TEST_CASE("A file entry before its folder entry is extracted as well") {
  Extraction x(Archive(L"file_first.7z"));
  CHECK_EQ(x.Run(), 0);
  CHECK(IsFolder(x.runtime + L"data"));
  CHECK_EQ(ReadBytes(x.runtime + L"data\\a.txt").substr(0, 7), std::string("alpha\r\n"));
  CHECK_EQ(ReadBytes(x.runtime + L"data\\b.txt").substr(0, 6), std::string("beta\r\n"));
}

TEST_CASE("A name of 258 characters is extracted, one of 259 is refused with status 2") {
  {
    Extraction x(Archive(L"name258.7z"));
    CHECK_EQ(x.Run(), 0);
    // The platform's own path limit is not the launcher's: Wine writes it.
    std::wstring name = std::wstring(100, L'd') + L"\\" + std::wstring(157, L'n');
    CHECK_EQ(ReadBytes(x.runtime + name), std::string("258"));
  }
  {
    Extraction x(Archive(L"name259.7z"));
    CHECK_EQ(x.Run(), 2);
    CHECK(!FileExists(x.runtime + std::wstring(100, L'd')));
  }
}

TEST_CASE("Two entries of one name: the first is written, the second fails with status 2") {
  Extraction x(Archive(L"duplicate.7z"));
  CHECK_EQ(x.Run(), 2);
  CHECK_EQ(ReadBytes(x.runtime + L"one.txt"), std::string("first"));
}

TEST_CASE("An entry that climbs out of the runtime folder stops extraction with status 3") {
  Extraction x(Archive(L"traversal.7z"));
  CHECK_EQ(x.Run(), 3);
  CHECK(!FileExists(x.dir.file(L"x.txt")));
}

TEST_CASE("A large entry is written in full") {
  Extraction x(Archive(L"big.7z"));
  CHECK_EQ(x.Run(), 0);
  std::string data = ReadBytes(x.runtime + L"big.bin");
  CHECK_EQ(data.size(), size_t{300000});
  bool same = data.size() == 300000;
  for (size_t i = 0; same && i < data.size(); ++i) same = static_cast<unsigned char>(data[i]) == (i * 7919) % 251;
  CHECK(same);
}

TEST_CASE("A damaged stream ends with the library's data or CRC code") {
  std::string archive = Archive(L"big.7z");
  for (size_t i = 100; i < 200; ++i) archive[i] = static_cast<char>(archive[i] ^ 0x5A);
  Extraction x(archive);
  int status = x.Run();
  CHECK((status == 1 || status == 3));
}

TEST_CASE("An archive with no entries writes nothing and succeeds") {
  std::string empty = StartHeader();
  std::memset(&empty[12], 0, 20);
  PutLittleEndian(empty, 8, Crc32(empty.data() + 12, 20), 4);
  Extraction x(empty + Filler(8));
  CHECK_EQ(x.Run(), 0);
  WIN32_FIND_DATAW entry;
  qx::UniqueFind find(FindFirstFileW((x.runtime + L"*").c_str(), &entry));
  int names = 0;
  if (find) {
    do {
      if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..") ++names;
    } while (FindNextFileW(find.get(), &entry));
  }
  CHECK_EQ(names, 0);
}

TEST_CASE("The archive is found after a gap and a bad signature copy") {
  std::string bad_copy = StartHeader(false);
  Extraction x(Archive(L"nested.7z"), Filler(40000) + bad_copy + Filler(3));
  CHECK_EQ(x.Run(), 0);
  CHECK(FileExists(x.runtime + L"data\\sub\\b.txt"));
}

TEST_CASE("No archive, a truncated one or no launcher file is status 3") {
  {
    Extraction x(Filler(5000));
    CHECK_EQ(x.Run(), 3);
  }
  {
    std::string archive = Archive(L"nested.7z");
    Extraction x(archive.substr(0, archive.size() - 10));
    CHECK_EQ(x.Run(), 3);
  }
  {
    Extraction x("");
    DeleteFileW(x.launcher.c_str());
    CHECK_EQ(qx::ExtractPayload(x.state), 3);
  }
}

TEST_CASE("The shipped uninstaller unpacks its three payload files unchanged") {
  Scratch dir;
  std::wstring runtime = dir.file(L"qxSHIPPED\\");
  CHECK(CreateDirectoryW(runtime.c_str(), nullptr));
  qx::LauncherState state;
  std::wstring uninstaller = Deliverable(L"uninstall.exe");
  CHECK(state.LauncherPath.assign(uninstaller.c_str()));
  CHECK(qx::ReadContainerHeader(state));
  CHECK(state.ContainerStart > 0u);
  CHECK_EQ(state.ArchiveOffset, 0ull);
  CHECK_EQ(state.TotalSize, static_cast<unsigned long long>(ReadBytes(uninstaller).size()));
  CHECK(state.RuntimeFolder.assign(runtime.c_str()));
  state.RuntimeFolderLength = static_cast<uint32_t>(runtime.size());
  CHECK_EQ(qx::ExtractPayload(state), 0);
  for (const wchar_t* name : {L"qxdlg.dat", L"qxlng.dat", L"QXCore.dll"}) {
    std::string expected = ReadBytes(Deliverable(name));
    CHECK(expected != "<missing>");
    if (ReadBytes(runtime + name) != expected) FAIL_CHECK("differs: " << Utf8(name));
  }
}

