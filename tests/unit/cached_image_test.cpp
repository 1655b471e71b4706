#include "applicability/portable/cached_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/unit/little_endian.h"

namespace {

class CountingImage : public MemoryImage {
 public:
  using MemoryImage::MemoryImage;
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
    ++reads;
    return MemoryImage::ReadAt(offset, out, size);
  }
  int reads = 0;
};

TEST(CachedImage, EveryReadGivesTheSourcesBytes) {
  const Bytes bytes = Pattern(50);
  MemoryImage source(bytes);
  CachedImage cached(source, 8);
  // Forwards and back, so that the window moves both ways; sizes up to past
  // two blocks, and ranges past the end.
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t k = 0; k <= 52; ++k) {
      const std::size_t offset = pass == 0 ? k : 52 - k;
      for (std::size_t size = 0; size <= 18; ++size) {
        SCOPED_TRACE(testing::Message() << "offset " << offset << " size " << size);
        Bytes got(size, 0xEE);
        const bool inside = offset + size <= bytes.size();
        ASSERT_EQ(cached.ReadAt(offset, got.data(), size), inside);
        if (inside) {
          EXPECT_EQ(got, Bytes(bytes.begin() + offset, bytes.begin() + offset + size));
        }
      }
    }
  }
}

TEST(CachedImage, ReadsCloseTogetherReachTheSourceOnce) {
  CountingImage source(Pattern(100));
  CachedImage cached(source, 16);
  std::uint8_t field[4];
  for (std::uint64_t offset : {12, 0, 28, 20}) ASSERT_TRUE(cached.ReadAt(offset, field, sizeof field));
  EXPECT_EQ(source.reads, 1);
}

}  // namespace
