#include "payload/portable/digest_table.h"

#include <gtest/gtest.h>

namespace {

PayloadDigest Row(std::uint32_t id, std::uint32_t size, std::uint8_t fill) {
  PayloadDigest row;
  row.resourceId = id;
  row.expandedSize = size;
  row.sha256.fill(fill);
  return row;
}

TEST(DigestTable, RowsAreWrittenSortedAndFoundById) {
  std::vector<std::uint8_t> table;
  ASSERT_TRUE(FormatDigestTable({Row(561, 7, 0xAA), Row(301, 0x01020304, 0x11), Row(401, 0, 0x22)}, table));
  ASSERT_EQ(table.size(), kDigestTableHeaderSize + 3 * kDigestTableRowSize);
  // Little-endian count, then the first row is the lowest id.
  EXPECT_EQ(table[4], 3);
  EXPECT_EQ(table[8], 301 & 0xFF);
  EXPECT_EQ(table[9], 301 >> 8);
  EXPECT_EQ(table[12], 0x04);
  EXPECT_EQ(table[15], 0x01);

  std::vector<PayloadDigest> rows;
  ASSERT_TRUE(ParseDigestTable(table.data(), table.size(), rows));
  ASSERT_EQ(rows.size(), 3u);
  const PayloadDigest* found = FindDigest(rows, 561);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->expandedSize, 7u);
  EXPECT_EQ(found->sha256, Row(0, 0, 0xAA).sha256);
  EXPECT_EQ(FindDigest(rows, 302), nullptr);
  EXPECT_EQ(FindDigest(rows, 0), nullptr);
  EXPECT_EQ(FindDigest(rows, 9999), nullptr);
}

TEST(DigestTable, DuplicateIdsAreRefused) {
  std::vector<std::uint8_t> table = {1, 2, 3};
  EXPECT_FALSE(FormatDigestTable({Row(401, 1, 1), Row(401, 2, 2)}, table));
  EXPECT_EQ(table, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(DigestTable, MalformedTablesAreRefusedAndYieldNoRows) {
  std::vector<std::uint8_t> good;
  ASSERT_TRUE(FormatDigestTable({Row(301, 1, 1), Row(302, 2, 2)}, good));
  std::vector<PayloadDigest> rows = {Row(1, 1, 1)};

  std::vector<std::uint8_t> badMagic = good;
  badMagic[0] = 'X';
  EXPECT_FALSE(ParseDigestTable(badMagic.data(), badMagic.size(), rows));
  EXPECT_TRUE(rows.empty());

  // One byte short, one byte long, and a count that would overflow a size.
  EXPECT_FALSE(ParseDigestTable(good.data(), good.size() - 1, rows));
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ParseDigestTable(longer.data(), longer.size(), rows));
  std::vector<std::uint8_t> hugeCount = good;
  hugeCount[7] = 0xFF;
  EXPECT_FALSE(ParseDigestTable(hugeCount.data(), hugeCount.size(), rows));

  // Ids out of order would break the lookup.
  std::vector<std::uint8_t> unordered = good;
  std::swap(unordered[8], unordered[8 + kDigestTableRowSize]);
  EXPECT_FALSE(ParseDigestTable(unordered.data(), unordered.size(), rows));
  EXPECT_FALSE(ParseDigestTable(nullptr, 0, rows));

  // An empty table is well formed.
  std::vector<std::uint8_t> empty;
  ASSERT_TRUE(FormatDigestTable({}, empty));
  EXPECT_TRUE(ParseDigestTable(empty.data(), empty.size(), rows));
  EXPECT_TRUE(rows.empty());
}

}  // namespace
