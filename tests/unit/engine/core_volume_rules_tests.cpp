// Which paths lie on another machine, where a drive root ends, what may wait
// for the restart, and which reparse points are links.
#include "doctest_text.h"
#include "common/volume_rules.h"

TEST_CASE("Paths on another machine and the drive roots of local ones") {
  struct Case {
    std::u16string_view path;
    bool network;
    size_t root;
  };
  const Case cases[] = {
      {u"C:\\Program Files\\Orvella\\a.dll", false, 3},
      {u"c:/Orvella/a.dll", false, 3},
      {u"\\\\server\\share\\Orvella\\a.dll", true, 0},
      {u"//server/share/a.dll", true, 0},
      {u"\\\\?\\UNC\\server\\share\\a.dll", true, 0},
      {u"\\\\?\\unc\\server\\share\\a.dll", true, 0},
      {u"\\\\?\\C:\\Orvella\\a.dll", false, 7},
      {u"\\\\.\\C:\\Orvella\\a.dll", false, 7},
      {u"\\\\?\\Volume{0b1e}\\a.dll", false, 0},
      {u"\\\\.\\PhysicalDrive0", false, 0},
      // A folder named UNC on a local device path is no share.
      {u"\\\\?\\UNC", false, 0},
      {u"\\\\\\a.dll", false, 0},
      {u"C:a.dll", false, 0},
      {u"Orvella\\a.dll", false, 0},
      {u"\\Orvella\\a.dll", false, 0},
      {u"", false, 0},
  };
  for (const Case& c : cases) {
    CAPTURE(std::string(c.path.begin(), c.path.end()));
    CHECK_EQ(qx::IsNetworkPath(c.path), c.network);
    CHECK_EQ(qx::DriveRootLength(c.path), c.root);
  }
}

TEST_CASE("Nothing waits for the restart on another machine's volume") {
  struct Case {
    std::u16string_view path;
    bool drive_is_remote, can;
  };
  const Case cases[] = {
      {u"C:\\Orvella\\a.dll", false, true},
      // A mapped drive: the system reports it as remote.
      {u"Z:\\Orvella\\a.dll", true, false},
      {u"\\\\server\\share\\a.dll", false, false},
      {u"\\\\?\\UNC\\server\\share\\a.dll", false, false},
      {u"\\\\?\\C:\\Orvella\\a.dll", false, true},
  };
  for (const Case& c : cases) {
    CAPTURE(std::string(c.path.begin(), c.path.end()));
    CHECK_EQ(qx::CanActAtRestart(c.path, c.drive_is_remote), c.can);
  }
}

TEST_CASE("Only name surrogates are links") {
  struct Case {
    const char* name;
    uint32_t tag;
    bool link;
  };
  const Case cases[] = {
      {"symbolic link", 0xA000000C, true},
      {"junction or mount point", 0xA0000003, true},
      {"Linux subsystem symbolic link", 0xA000001D, true},
      {"OneDrive placeholder", 0x9000001A, false},
      {"cloud placeholder", 0x9000601A, false},
      {"deduplicated file", 0x80000013, false},
      {"single-instance storage", 0x80000007, false},
      {"Windows overlay file", 0x80000017, false},
      {"application execution alias", 0x8000001B, false},
      {"a tag that could not be read (the reserved 0)", 0, true},
  };
  for (const Case& c : cases) {
    CAPTURE(c.name);
    CHECK_EQ(qx::IsLinkReparseTag(c.tag), c.link);
  }
}
