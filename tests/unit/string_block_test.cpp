#include "base/portable/string_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Builds a block from 16 strings (shorter lists leave the rest absent).
std::vector<uint16_t> Block(const std::vector<std::u16string>& strings) {
  std::vector<uint16_t> units;
  for (int i = 0; i < 16; ++i) {
    const std::u16string s = i < static_cast<int>(strings.size()) ? strings[i] : u"";
    units.push_back(static_cast<uint16_t>(s.size()));
    units.insert(units.end(), s.begin(), s.end());
  }
  return units;
}

std::u16string At(const std::vector<uint16_t>& units, const StringSpan& span) {
  return std::u16string(units.begin() + span.offset, units.begin() + span.offset + span.length);
}

TEST(StringBlock, FindsEachStringByPosition) {
  const auto block = Block({u"", u"zero-one", u"", u"three", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"",
                            u"", u"fifteen"});
  ASSERT_TRUE(FindStringInBlock(block.data(), block.size(), 1));
  EXPECT_EQ(At(block, *FindStringInBlock(block.data(), block.size(), 1)), u"zero-one");
  EXPECT_EQ(At(block, *FindStringInBlock(block.data(), block.size(), 3)), u"three");
  EXPECT_EQ(At(block, *FindStringInBlock(block.data(), block.size(), 15)), u"fifteen");
}

TEST(StringBlock, EmptyStringsAreAbsent) {
  const auto block = Block({u"a"});
  EXPECT_FALSE(FindStringInBlock(block.data(), block.size(), 2));
}

TEST(StringBlock, IndexSixteenIsPastTheBlockEvenWhenDataFollows) {
  // Units after the 16th string (say, the next block's) are no 17th string.
  auto block = Block({u"a"});
  EXPECT_FALSE(FindStringInBlock(block.data(), block.size(), 16));
  block.insert(block.end(), {4, u'n', u'e', u'x', u't'});
  EXPECT_FALSE(FindStringInBlock(block.data(), block.size(), 16));
}

TEST(StringBlock, TruncatedBlocksNeverReadPastTheirEnd) {
  // A block that stops after the third string, and one whose length runs past the end.
  const std::vector<uint16_t> shortBlock = {1, u'a', 0, 2, u'b', u'c'};
  EXPECT_EQ(At(shortBlock, *FindStringInBlock(shortBlock.data(), shortBlock.size(), 2)), u"bc");
  EXPECT_FALSE(FindStringInBlock(shortBlock.data(), shortBlock.size(), 3));
  EXPECT_FALSE(FindStringInBlock(shortBlock.data(), shortBlock.size(), 15));
  const std::vector<uint16_t> overlong = {0, 40, u'x'};
  EXPECT_FALSE(FindStringInBlock(overlong.data(), overlong.size(), 1));
  const std::vector<uint16_t> hugeSkip = {0xFFFF, u'x'};
  EXPECT_FALSE(FindStringInBlock(hugeSkip.data(), hugeSkip.size(), 1));
  EXPECT_FALSE(FindStringInBlock(nullptr, 0, 0));
}

}  // namespace
