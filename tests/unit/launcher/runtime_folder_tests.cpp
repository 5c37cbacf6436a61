// Runtime folder naming, creation and removal.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "common/unique_resource.h"
#include "test_support.h"
#include "uninstall/launcher.h"
#include "uninstall/runtime_folder.h"

using namespace qxtest;

namespace {

DWORD WINAPI TickOfSixteen() { return 0x10; }
DWORD WINAPI StoppedClock() { return 0; }

void PrepareState(qx::LauncherState& state, const Scratch& temp) {
  CHECK(state.RuntimeFolder.assign(temp.dir().c_str()));
  state.RuntimeFolderLength = static_cast<uint32_t>(state.RuntimeFolder.length());
}

std::string Name(uint32_t seed) {
  qx::PathBuffer path;
  CHECK(path.assign(L"C:\\Temp\\"));
  CHECK(qx::AppendRuntimeFolderName(path, seed));
  return Utf8(path.get());
}

}  // namespace

TEST_CASE("Folder names are qx and exactly 8 upper-case hex digits") {
  CHECK_EQ(Name(0x2F), std::string("C:\\Temp\\qx0000002F"));
  CHECK_EQ(Name(15), std::string("C:\\Temp\\qx0000000F"));
  CHECK_EQ(Name(0), std::string("C:\\Temp\\qx00000000"));
  CHECK_EQ(Name(0xDEADBEEF), std::string("C:\\Temp\\qxDEADBEEF"));
}

TEST_CASE("A name that does not fit leaves the buffer unchanged") {
  qx::PathBuffer path;
  std::wstring filler(qx::PathBuffer::capacity() - 10, L'x');
  CHECK(path.assign(filler.c_str()));
  CHECK(!qx::AppendRuntimeFolderName(path, 1));
  CHECK(path.get() == filler);
}

TEST_CASE("The seed mixes tick count, thread and process") {
  CHECK_EQ(qx::RuntimeFolderSeed(0x2, 0x1, 0x7), static_cast<uint32_t>((0x2 << 12) ^ (0x1 << 14) ^ 0x7));
  // Same millisecond and thread number, other processes: other names.
  CHECK(qx::RuntimeFolderSeed(1000, 4, 0x120) != qx::RuntimeFolderSeed(1000, 4, 0x124));
  // Shifted past 32 bits, the high bits fall away.
  CHECK_EQ(qx::RuntimeFolderSeed(0xFFFFFFFF, 0, 0), 0xFFFFF000u);
}

TEST_CASE("CreateRuntimeFolder makes the folder and points the state at it") {
  Scratch temp;
  qx::LauncherState state;
  PrepareState(state, temp);
  CHECK(qx::CreateRuntimeFolder(state, 0x2F, &TickOfSixteen));
  CHECK(std::wstring(state.RuntimeFolder.get()) == temp.file(L"qx0000002F\\"));
  CHECK_EQ(state.RuntimeFolderLength, static_cast<uint32_t>(temp.dir().size() + 11));
  CHECK(IsFolder(temp.file(L"qx0000002F")));
}

TEST_CASE("A taken name moves the seed by the tick count and leaves the other folder alone") {
  Scratch temp;
  CHECK(CreateDirectoryW(temp.file(L"qx0000002F").c_str(), nullptr));
  CHECK(WriteBytes(temp.file(L"qx0000002F\\mine.txt"), "keep"));
  CHECK(WriteBytes(temp.file(L"qx0000003F"), "a file takes the name too"));
  qx::LauncherState state;
  PrepareState(state, temp);
  CHECK(qx::CreateRuntimeFolder(state, 0x2F, &TickOfSixteen));
  CHECK(std::wstring(state.RuntimeFolder.get()) == temp.file(L"qx0000004F\\"));
  CHECK_EQ(ReadBytes(temp.file(L"qx0000002F\\mine.txt")), std::string("keep"));
  CHECK(!IsFolder(temp.file(L"qx0000003F")));
}

TEST_CASE("After 100 taken names creation fails and the state keeps the temporary folder") {
  Scratch temp;
  CHECK(CreateDirectoryW(temp.file(L"qx00000001").c_str(), nullptr));
  qx::LauncherState state;
  PrepareState(state, temp);
  CHECK(!qx::CreateRuntimeFolder(state, 1, &StoppedClock));
  CHECK(std::wstring(state.RuntimeFolder.get()) == temp.dir());
  CHECK_EQ(state.RuntimeFolderLength, static_cast<uint32_t>(temp.dir().size()));
}

TEST_CASE("A creation error other than already-exists fails at once, touching nothing") {
  Scratch temp;
  qx::LauncherState state;
  PrepareState(state, temp);
  // The "temporary folder" does not exist: the creation reports path-not-found.
  CHECK(state.RuntimeFolder.append(L"missing\\"));
  state.RuntimeFolderLength = static_cast<uint32_t>(state.RuntimeFolder.length());
  CHECK(!qx::CreateRuntimeFolder(state, 1, &TickOfSixteen));
  CHECK(!FileExists(temp.file(L"missing")));
}

TEST_CASE("Two runtime folders of one process get different names") {
  Scratch temp;
  qx::LauncherState first, second;
  PrepareState(first, temp);
  PrepareState(second, temp);
  CHECK(qx::CreateRuntimeFolder(first));
  CHECK(qx::CreateRuntimeFolder(second));
  CHECK(std::wstring(first.RuntimeFolder.get()) != std::wstring(second.RuntimeFolder.get()));
  CHECK(IsFolder(first.RuntimeFolder.get()));
  CHECK(IsFolder(second.RuntimeFolder.get()));
}

TEST_CASE("RemoveFolderTree removes a nested tree with read-only and hidden files") {
  Scratch temp;
  std::wstring root = temp.file(L"qxTREE\\");
  CHECK_EQ(qx::CreateFolderPath((root + L"a\\b\\c").c_str()), 0ul);
  CHECK(CreateDirectoryW((root + L"empty").c_str(), nullptr));
  CHECK(WriteBytes(root + L"top.txt", "1"));
  CHECK(WriteBytes(root + L"a\\b\\c\\deep.txt", "2"));
  CHECK(WriteBytes(root + L"a\\locked.txt", "3"));
  CHECK(SetFileAttributesW((root + L"a\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  CHECK(SetFileAttributesW((root + L"top.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
  qx::PathBuffer path;
  CHECK(path.assign(root.c_str()));
  CHECK_EQ(qx::RemoveFolderTree(path), 0ul);
  CHECK(!FileExists(root));
  CHECK(std::wstring(path.get()) == root);
}

TEST_CASE("A file held open stops the removal; the rest of its folder chain stays") {
  Scratch temp;
  std::wstring root = temp.file(L"qxHELD\\");
  CHECK_EQ(qx::CreateFolderPath((root + L"inner").c_str()), 0ul);
  CHECK(WriteBytes(root + L"inner\\held.txt", "open"));
  qx::UniqueFile held(CreateFileW((root + L"inner\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  CHECK(held.valid());
  qx::PathBuffer path;
  CHECK(path.assign(root.c_str()));
  CHECK(qx::RemoveFolderTree(path) != 0ul);
  CHECK(std::wstring(path.get()) == root);
  CHECK(FileExists(root + L"inner\\held.txt"));
  CHECK(IsFolder(root + L"inner"));
  CHECK(IsFolder(root));
  held.reset();
  CHECK_EQ(qx::RemoveFolderTree(path), 0ul);
  CHECK(!FileExists(root));
}

TEST_CASE("RemoveFolderTree of a missing folder reports the listing error") {
  Scratch temp;
  qx::PathBuffer path;
  CHECK(path.assign(temp.file(L"qxNONE\\").c_str()));
  DWORD error = qx::RemoveFolderTree(path);
  CHECK((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND));
  CHECK(IsFolder(temp.dir()));
}


namespace {

bool IsRecorded(const qx::PathBuffer& folder) {
  std::wstring name(folder.get(), folder.length() - 1);
  return RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\QXUninstall\\RuntimeFolders", name.c_str(), RRF_RT_REG_BINARY,
                      nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TEST_CASE("The sweep removes only recorded folders that are still the folder recorded and no run holds") {
  enum class Left { kKilled, kLive, kReplaced, kGone };
  struct Case {
    const char* name;
    Left left;
    bool folder_stays, record_stays;
  };
  const Case cases[] = {
      {"a killed run's folder goes with its record", Left::kKilled, false, false},
      {"a live run's folder stays recorded", Left::kLive, true, true},
      {"another folder at a recorded path stays, its record goes", Left::kReplaced, true, false},
      {"a record whose folder is gone goes", Left::kGone, false, false},
  };
  for (const Case& c : cases) {
    CAPTURE(c.name);
    Scratch temp;
    // A look-alike with a marker and content that no run recorded.
    CHECK(CreateDirectoryW(temp.file(L"qx0BADF00D").c_str(), nullptr));
    CHECK(CreateDirectoryW(temp.file(L"qx0BADF00D\\sub").c_str(), nullptr));
    CHECK(WriteBytes(temp.file(L"qx0BADF00D\\qxrun.dat"), ""));
    CHECK(WriteBytes(temp.file(L"qx0BADF00D\\sub\\victim.txt"), "keep"));
    qx::LauncherState state;
    PrepareState(state, temp);
    REQUIRE(qx::CreateRuntimeFolder(state, 0x2F, &TickOfSixteen));
    const std::wstring folder = state.RuntimeFolder.get();
    CHECK(CreateDirectoryW((folder + L"inner").c_str(), nullptr));
    CHECK(WriteBytes(folder + L"inner\\QXCore.dll", "engine"));
    CHECK(IsRecorded(state.RuntimeFolder));
    if (c.left != Left::kLive) state.RunMarker.reset();
    if (c.left == Left::kReplaced || c.left == Left::kGone) {
      CHECK(MoveFileW(folder.c_str(), temp.file(L"moved").c_str()));
      if (c.left == Left::kReplaced) {
        CHECK(CreateDirectoryW(folder.c_str(), nullptr));
        CHECK(WriteBytes(folder + L"qxrun.dat", ""));
      }
    }
    qx::RemoveStaleRuntimeFolders();
    CHECK_EQ(IsFolder(folder), c.folder_stays);
    CHECK_EQ(IsRecorded(state.RuntimeFolder), c.record_stays);
    CHECK_EQ(ReadBytes(temp.file(L"qx0BADF00D\\sub\\victim.txt")), std::string("keep"));
    if (c.left == Left::kLive) {
      state.RuntimeFolder.truncate(state.RuntimeFolderLength);
      qx::ReleaseRunMarker(state.RunMarker);
      CHECK_EQ(qx::RemoveRuntimeFolder(state.RuntimeFolder), 0ul);
      CHECK(!IsRecorded(state.RuntimeFolder));
    }
  }
}
