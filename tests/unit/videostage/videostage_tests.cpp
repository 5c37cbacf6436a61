// The slice copy over in-memory streams, and the staging-name rules.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "slice_copy.h"
#include "staged_path.h"

using namespace videostage;

namespace {

// Serves |data| in reads of at most |max_read| bytes; fails every read once
// |fail_at| bytes have been served.
struct MemorySource final : ByteSource {
  std::vector<unsigned char> data;
  size_t position = 0;
  size_t max_read = SIZE_MAX;
  size_t fail_at = SIZE_MAX;
  size_t largest_request = 0;

  size_t Read(void* buffer, size_t count) override {
    if (count > largest_request) largest_request = count;
    if (position >= fail_at) return 0;
    size_t n = count;
    if (n > max_read) n = max_read;
    if (n > data.size() - position) n = data.size() - position;
    if (n > fail_at - position) n = fail_at - position;
    std::memcpy(buffer, data.data() + position, n);
    position += n;
    return n;
  }
};

// Accepts everything until |limit| bytes, then writes part of a block.
struct MemorySink final : ByteSink {
  std::vector<unsigned char> data;
  size_t limit = SIZE_MAX;

  size_t Write(const void* bytes, size_t count) override {
    size_t n = count;
    if (n > limit - data.size()) n = limit - data.size();
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    data.insert(data.end(), p, p + n);
    return n;
  }
};

std::vector<unsigned char> Pattern(size_t size) {
  std::vector<unsigned char> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<unsigned char>(i * 7 + i / 251);
  return v;
}

}  // namespace

TEST_CASE("slice plan keeps 99 equal passes and a last one with the remainder") {
  CHECK_EQ(PlanSlices(250).slice, 2u);
  CHECK_EQ(PlanSlices(250).last, 52u);
  CHECK_EQ(PlanSlices(99).slice, 0u);
  CHECK_EQ(PlanSlices(99).last, 99u);
  CHECK_EQ(PlanSlices(0).last, 0u);
  // Past 2 and 4 GiB, where a 32-bit size turns negative or wraps.
  const uint64_t sizes[] = {(1ull << 31) + 7, (1ull << 32) + 250, 50000000000ull};
  for (uint64_t size : sizes) {
    const SlicePlan plan = PlanSlices(size);
    CHECK_EQ(plan.slice * 99 + plan.last, size);
    CHECK(plan.last - plan.slice < 100);
  }
}

TEST_CASE("copy is exact for sizes around the slice count and the buffer") {
  const size_t sizes[] = {0, 1, 99, 100, 101, 250, 1000, 4099};
  const size_t buffers[] = {1, 3, 64, 8192};
  for (size_t size : sizes) {
    for (size_t capacity : buffers) {
      MemorySource from;
      from.data = Pattern(size);
      from.max_read = 5;  // reads may return less than asked without ending the copy
      MemorySink to;
      std::vector<unsigned char> buffer(capacity);
      CHECK_EQ(CopySlices(from, to, size, buffer.data(), capacity), static_cast<uint64_t>(size));
      CHECK(to.data == from.data);
      CHECK(from.largest_request <= capacity);
    }
  }
}

TEST_CASE("copy stops at a failed read and writes only what was read") {
  MemorySource from;
  from.data = Pattern(250);
  from.fail_at = 117;
  MemorySink to;
  unsigned char buffer[16];
  CHECK_EQ(CopySlices(from, to, 250, buffer, sizeof buffer), 117u);
  CHECK_EQ(to.data.size(), 117u);
  CHECK(std::equal(to.data.begin(), to.data.end(), from.data.begin()));
}

TEST_CASE("copy of a source shorter than its size ends short") {
  MemorySource from;
  from.data = Pattern(60);
  MemorySink to;
  unsigned char buffer[32];
  CHECK_EQ(CopySlices(from, to, 250, buffer, sizeof buffer), 60u);
  CHECK(to.data == from.data);
}

TEST_CASE("copy stops at a short write and counts only what was written") {
  MemorySource from;
  from.data = Pattern(1000);
  MemorySink to;
  to.limit = 333;
  unsigned char buffer[50];
  CHECK_EQ(CopySlices(from, to, 1000, buffer, sizeof buffer), 333u);
  CHECK(from.position < 1000);
}

TEST_CASE("staging rules are case-sensitive substring tests") {
  const StagingRule& mov = kStagingRules[0];
  const StagingRule& avi = kStagingRules[1];
  CHECK(MatchesRule(mov, "D:\\clips\\intro.MOV"));
  CHECK(MatchesRule(mov, "D:\\clips\\intro.mov"));
  CHECK(!MatchesRule(mov, "D:\\clips\\intro.Mov"));
  CHECK(!MatchesRule(avi, "D:\\clips\\clip.Avi"));
  CHECK(MatchesRule(avi, "D:\\films.avi\\clip.mov"));
  CHECK(MatchesRule(mov, "D:\\films.avi\\clip.mov"));
  CHECK(MatchesRule(avi, "D:\\x.AVI.bak"));
  CHECK(!MatchesRule(mov, ""));
}

TEST_CASE("staged path carries the trailing blank and refuses what does not fit") {
  StagedPath out;
  CHECK(FormatStagedPath("C:\\work", "temp.mov", out));
  CHECK_EQ(std::string(out.get()), std::string("C:\\work\\temp.mov "));

  // 249 + "\temp.mov " = 259 characters: the longest text with its terminator.
  const std::string fits(249, 'd');
  CHECK(FormatStagedPath(fits.c_str(), "temp.mov", out));
  CHECK_EQ(out.length(), 259u);
  const std::string too_long(250, 'd');
  CHECK(!FormatStagedPath(too_long.c_str(), "temp.mov", out));
  CHECK_EQ(out.length(), 0u);
}

