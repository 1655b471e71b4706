#include "tools/szdd_packer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/szdd_test_util.h"

namespace {

using szdd::ExpandStatus;
using szdd_test::Bytes;
using szdd_test::Repeat;

struct Sample {
  std::string name;
  Bytes data;
};

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Shapes that stress the parse and the ring: every size class around the
// ring size, runs, the initial spaces, repeats at the ring's edge.
std::vector<Sample> Samples() {
  std::vector<Sample> s;
  for (std::size_t size : {0, 1, 2, 3, 15, 16, 17, 18, 19, 4095, 4096, 4097, 10000}) {
    s.push_back({"text_" + std::to_string(size), szdd_test::TextLike(size, 7)});
  }
  for (std::size_t size : {1, 17, 4097, 70000}) {
    s.push_back({"random_" + std::to_string(size), szdd_test::RandomBytes(size, 11)});
  }
  for (std::size_t size : {3, 17, 18, 19, 36, 4096, 100000}) {
    s.push_back({"zeros_" + std::to_string(size), Bytes(size, 0)});
    s.push_back({"spaces_" + std::to_string(size), Bytes(size, ' ')});
  }
  s.push_back({"run_18_pattern", Repeat(szdd_test::RandomBytes(18, 5), 5000)});
  s.push_back({"spaces_then_text", Concat(Bytes(40, ' '), szdd_test::TextLike(3000, 2))});
  s.push_back({"space_text_mix", Repeat({' ', ' ', 'a', ' ', ' ', ' ', 'b'}, 4000)});
  // Every block of 4096 repeats the one before it: the best matches are
  // exactly one ring length back, which references may not reach.
  s.push_back({"repeat_at_4096", Repeat(szdd_test::RandomBytes(4096, 9), 4096 * 4)});
  s.push_back({"repeat_at_4095", Repeat(szdd_test::RandomBytes(4095, 9), 4095 * 4)});
  s.push_back({"program_like", szdd_test::ProgramLike(200000, 4)});
  s.push_back({"program_like_big", szdd_test::ProgramLike(1200000, 8)});  // more than one parse block
  return s;
}

TEST(SzddPacker, RoundTripsEveryShape) {
  for (const Sample& sample : Samples()) {
    const Bytes packed = szdd::Pack(sample.data.data(), sample.data.size());
    ASSERT_GE(packed.size(), szdd::kHeaderSize) << sample.name;
    const Bytes header = szdd_test::Header(static_cast<std::uint32_t>(sample.data.size()));
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + szdd::kHeaderSize), header) << sample.name;
    Bytes out;
    ASSERT_EQ(szdd_test::ExpandBytes(packed, out), ExpandStatus::kOk) << sample.name;
    EXPECT_EQ(out, sample.data) << sample.name;
    // Never worse than all literals.
    EXPECT_LE(packed.size(), szdd::kHeaderSize + sample.data.size() + (sample.data.size() + 7) / 8)
        << sample.name;
  }
}

TEST(SzddPacker, UsesTheInitialSpacesAndLongRuns) {
  // 5000 spaces: every reference can come from the ring's initial spaces,
  // 18 bytes for 2 plus a flag bit.
  const Bytes spaces(5000, ' ');
  EXPECT_LE(szdd::Pack(spaces.data(), spaces.size()).size(), szdd::kHeaderSize + 5000 / 18 * 2 + 40);
  const Bytes zeros(5000, 0);
  EXPECT_LE(szdd::Pack(zeros.data(), zeros.size()).size(), szdd::kHeaderSize + 5000 / 18 * 2 + 40);
}

TEST(SzddPacker, MsexpandReadsItsOutput) {
  if (!szdd_test::HaveProgram("msexpand")) GTEST_SKIP() << "msexpand is not installed";
  szdd_test::TempDir dir;
  for (const Sample& sample : Samples()) {
    const Bytes packed = szdd::Pack(sample.data.data(), sample.data.size());
    Bytes out;
    ASSERT_TRUE(szdd_test::MsExpand(dir, packed, out)) << sample.name;
    EXPECT_EQ(out, sample.data) << sample.name;
  }
}

TEST(SzddPacker, NeverLargerThanMscompress) {
  if (!szdd_test::HaveProgram("mscompress")) GTEST_SKIP() << "mscompress is not installed";
  szdd_test::TempDir dir;
  std::size_t ours_total = 0;
  std::size_t theirs_total = 0;
  for (const Sample& sample : Samples()) {
    if (sample.data.size() < 16) continue;
    Bytes theirs;
    ASSERT_TRUE(szdd_test::MsCompress(dir, sample.data, theirs)) << sample.name;
    const Bytes ours = szdd::Pack(sample.data.data(), sample.data.size());
    EXPECT_LE(ours.size(), theirs.size()) << sample.name;
    ours_total += ours.size();
    theirs_total += theirs.size();
  }
  // And clearly smaller overall.
  EXPECT_LT(ours_total * 100, theirs_total * 99);
}

}  // namespace
