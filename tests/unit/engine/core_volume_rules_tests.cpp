// Which paths lie on another machine, what may wait for the restart there,
// and which reparse points are links.
#include "doctest_text.h"
#include "common/volume_rules.h"

TEST_CASE("Paths on another machine, drive roots, and what may wait for the restart") {
  struct Case {
    std::u16string_view path;
    bool drive_is_remote, network;
    size_t root;
    bool can;
  };
  const Case cases[] = {
      {u"C:\\Program Files\\Orvella\\a.dll", false, false, 3, true},
      {u"c:/Orvella/a.dll", false, false, 3, true},
      // A mapped drive: the system reports it as remote.
      {u"Z:\\Orvella\\a.dll", true, false, 3, false},
      {u"\\\\server\\share\\Orvella\\a.dll", false, true, 0, false},
      {u"//server/share/a.dll", false, true, 0, false},
      {u"\\\\?\\unc\\server\\share\\a.dll", false, true, 0, false},
      {u"\\\\?\\C:\\Orvella\\a.dll", false, false, 7, true},
      {u"\\\\.\\C:\\Orvella\\a.dll", false, false, 7, true},
      {u"\\\\?\\Volume{0b1e}\\a.dll", false, false, 0, true},
      // A local device path to a folder named UNC is no share.
      {u"\\\\?\\UNC", false, false, 0, true},
      {u"\\\\\\a.dll", false, false, 0, true},
      {u"C:a.dll", false, false, 0, true},
      {u"", false, false, 0, true},
  };
  for (const Case& c : cases) {
    CAPTURE(std::string(c.path.begin(), c.path.end()));
    CHECK_EQ(qx::IsNetworkPath(c.path), c.network);
    CHECK_EQ(qx::DriveRootLength(c.path), c.root);
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
      {"OneDrive placeholder", 0x9000001A, false},
      {"cloud placeholder", 0x9000601A, false},
      {"deduplicated file", 0x80000013, false},
      {"application execution alias", 0x8000001B, false},
      {"a tag that could not be read (the reserved 0)", 0, true},
  };
  for (const Case& c : cases) {
    CAPTURE(c.name);
    CHECK_EQ(qx::IsLinkReparseTag(c.tag), c.link);
  }
}
