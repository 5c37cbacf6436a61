// Where the launcher's image ends, for both image formats: PE32 (the shipped
// programs) and PE32+ (the 64-bit twin).
#include <algorithm>

#include <doctest.h>

#include "pe_head.h"
#include "uninstall/image_layout.h"

using qxtest::ImageHead;

namespace {

const size_t kFormats[] = {qx::kPe32OptionalHeaderSize, qx::kPe32PlusOptionalHeaderSize};

bool Start(const std::string& head, size_t optional, uint32_t& start, size_t size = 0) {
  return qx::FindContainerStart(reinterpret_cast<const unsigned char*>(head.data()), size ? size : head.size(),
                                optional, start);
}

}  // namespace

TEST_CASE("The container starts after the section with the highest raw-data offset") {
  for (size_t optional : kFormats) {
    CAPTURE(optional);
    uint32_t start = 1;
    CHECK(Start(ImageHead(0x80, {{0x400, 0x200}, {0x1000, 0x300}, {0x600, 0x5000}}, optional), optional, start));
    CHECK_EQ(start, 0x1300u);
    // Equal offsets: the earlier section stays.
    CHECK(Start(ImageHead(0x80, {{0x400, 0x100}, {0x400, 0x900}}, optional), optional, start));
    CHECK_EQ(start, 0x500u);
    // Sections without raw data never count; the caller refuses start 0.
    CHECK(Start(ImageHead(0x80, {{0x400, 0x200}, {0, 0x9999}}, optional), optional, start));
    CHECK_EQ(start, 0x600u);
    // An end beyond 4 GiB.
    CHECK(!Start(ImageHead(0x80, {{0xFFFFF000, 0x1000}}, optional), optional, start));
    CHECK(Start(ImageHead(0x80, {{0xFFFFF000, 0xFFF}}, optional), optional, start));
    CHECK_EQ(start, 0xFFFFFFFFu);
  }
}

TEST_CASE("Headers that are not a PE image, or a table past what was read, fail") {
  for (size_t optional : kFormats) {
    CAPTURE(optional);
    uint32_t start = 0;
    const size_t table = 0x80 + 4 + 20 + optional;
    std::string head = ImageHead(0x80, {{0x400, 0x200}}, optional);
    std::string no_mz = head;
    no_mz[0] = 'X';
    CHECK(!Start(no_mz, optional, start));
    std::string no_pe = head;
    no_pe[0x81] = 'X';
    CHECK(!Start(no_pe, optional, start));
    // The last image header whose (empty) section table fits: 3,847 at most,
    // where 3,848 fails whatever the format.
    const uint32_t last = std::min<uint32_t>(3847, static_cast<uint32_t>(4096 - 4 - 20 - optional));
    CHECK(Start(ImageHead(last, {}, optional), optional, start));
    CHECK(!Start(ImageHead(last + 1, {}, optional), optional, start));
    // No room for a 40-byte section header after it.
    CHECK(!Start(ImageHead(last, {{0x400, 0x200}}, optional), optional, start));
    const uint32_t fit = static_cast<uint32_t>((4096 - table) / 40);
    CHECK(Start(ImageHead(0x80, {{0x400, 0x200}}, optional, fit), optional, start));
    CHECK(!Start(ImageHead(0x80, {{0x400, 0x200}}, optional, fit + 1), optional, start));
    // A short file: only what was read counts.
    CHECK(!Start(head, optional, start, table + 39));
    CHECK(Start(head, optional, start, table + 40));
    CHECK(!Start(head, optional, start, 32));
  }
}
