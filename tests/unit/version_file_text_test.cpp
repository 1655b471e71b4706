#include "records/portable/version_file_text.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const RecordTime kNow{2024, 3, 5, 7, 8, 9};
const std::wstring kDescription = L"Mirevo Update";
const std::wstring kVersion = L"2.2.3.04170";

std::string Record(int n) {
  const std::string k = std::to_string(n);
  return "Updated_" + k + "_Date=2024/3/5 07:08:09\r\n" + "Updated_" + k + "_ProductName=Mirevo Update\r\n" +
         "Updated_" + k + "_Version=2.2.3.04170\r\n" + "Updated_" + k +
         "_ProductGUID={5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}\r\n";
}

std::string Compose(const std::vector<std::wstring>& oldLines) {
  return ComposeVersionFile(oldLines, kDescription, kVersion, kNow);
}

TEST(VersionFileLines, LineEndsAsTextModeReadsThem) {
  EXPECT_EQ(SplitVersionFileLines("a\r\nb\nc"), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  // A CR not followed by LF belongs to the line.
  EXPECT_EQ(SplitVersionFileLines("a\rb\r\nc\r"), (std::vector<std::wstring>{L"a\rb", L"c\r"}));
  // Ctrl-Z ends the text in text mode.
  EXPECT_EQ(SplitVersionFileLines("a\r\nb\x1A\r\nc\r\n"), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(VersionFileLines, EmptyLinesAreDropped) {
  EXPECT_EQ(SplitVersionFileLines("\r\n\na\r\n\r\n\nb\r\n\r\n"), (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_TRUE(SplitVersionFileLines("").empty());
  EXPECT_TRUE(SplitVersionFileLines("\r\n\n").empty());
  // Blanks are content, not emptiness.
  EXPECT_EQ(SplitVersionFileLines(" \r\n"), (std::vector<std::wstring>{L" "}));
}

TEST(VersionFileLines, ZeroByteEndsTheLineAndBytesKeepTheirValue) {
  EXPECT_EQ(SplitVersionFileLines(std::string("ab\0cd\r\n\0x\r\nz", 13)), (std::vector<std::wstring>{L"ab", L"z"}));
  EXPECT_EQ(SplitVersionFileLines("\xE9\xFF\x80"), (std::vector<std::wstring>{L"\u00E9\u00FF\u0080"}));
}

TEST(VersionFileRewrite, InstallerFileGetsTheCounterAndTheFirstRecord) {
  const std::string got = Compose({L"2.0.1.12040", L"Version=2.0.1.12040"});
  EXPECT_EQ(got, "2.2.3.04170\r\n2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=1\r\n" + Record(1));
}

TEST(VersionFileRewrite, CounterInTheMiddleCountsOnInPlace) {
  const std::string got = Compose({L"2.1.0.00001", L"UpdateCount=3", L"Updated_3_Version=2.1.0.00001", L"tail"});
  EXPECT_EQ(got, "2.2.3.04170\r\n2.1.0.00001\r\nUpdateCount=4\r\nUpdated_3_Version=2.1.0.00001\r\ntail\r\n" +
                     Record(4));
}

TEST(VersionFileRewrite, CounterWithoutDigitsStartsAtOne) {
  for (const wchar_t* counter : {L"UpdateCount=", L"UpdateCount=abc", L"UpdateCount= x7"}) {
    SCOPED_TRACE(std::string(counter, counter + std::wcslen(counter)));
    EXPECT_EQ(Compose({L"2.0", counter}), "2.2.3.04170\r\n2.0\r\nUpdateCount=1\r\n" + Record(1));
  }
}

TEST(VersionFileRewrite, CounterIsReadAsWtolReadsIt) {
  const struct {
    const wchar_t* line;
    const char* rewritten;
    int record;
  } cases[] = {
      {L"UpdateCount= \t+7", "UpdateCount=8", 8},
      {L"UpdateCount=12abc", "UpdateCount=13", 13},
      {L"UpdateCount=-3", "UpdateCount=-2", -2},
      {L"UpdateCount=007", "UpdateCount=8", 8},
      // Held at the 32-bit limit, then the sum wraps as 32-bit arithmetic does.
      {L"UpdateCount=99999999999", "UpdateCount=-2147483648", -2147483647 - 1},
      {L"UpdateCount=-99999999999", "UpdateCount=-2147483647", -2147483647},
      // Twenty digits and more: 2^64 + 1 is held too, not wrapped to 1, and
      // leading zeros do not count towards the limit.
      {L"UpdateCount=18446744073709551617", "UpdateCount=-2147483648", -2147483647 - 1},
      {L"UpdateCount=-18446744073709551617", "UpdateCount=-2147483647", -2147483647},
      {L"UpdateCount=0000000000000000000041", "UpdateCount=42", 42},
  };
  for (const auto& c : cases) {
    const std::string got = Compose({c.line});
    SCOPED_TRACE(c.rewritten);
    EXPECT_EQ(got, "2.2.3.04170\r\n" + std::string(c.rewritten) + "\r\n" + Record(c.record));
  }
}

TEST(VersionFileRewrite, CounterNameMatchesOnlyInItsExactCase) {
  const std::string got = Compose({L"2.0", L"updatecount=5", L"UPDATECOUNT=6", L"UpdateCount", L"UpdateCoun=1"});
  EXPECT_EQ(got,
            "2.2.3.04170\r\n2.0\r\nupdatecount=5\r\nUPDATECOUNT=6\r\nUpdateCount\r\nUpdateCoun=1\r\n"
            "UpdateCount=1\r\n" +
                Record(1));
}

TEST(VersionFileRewrite, EveryCounterLineIsRewrittenAndTheLastOneNumbersTheRecord) {
  const std::string got = Compose({L"UpdateCount=9", L"x", L"UpdateCount=2"});
  EXPECT_EQ(got, "2.2.3.04170\r\nUpdateCount=10\r\nx\r\nUpdateCount=3\r\n" + Record(3));
}

TEST(VersionFileRewrite, UnreadableOldFileIsWrittenFromNothing) {
  EXPECT_EQ(Compose({}), "2.2.3.04170\r\nUpdateCount=1\r\n" + Record(1));
}

TEST(VersionFileRewrite, DateIsUnpaddedAndTimeHasTwoDigitsEach) {
  const std::string got = ComposeVersionFile({}, L"d", L"v", RecordTime{2031, 12, 31, 23, 59, 0});
  EXPECT_NE(got.find("Updated_1_Date=2031/12/31 23:59:00\r\n"), std::string::npos) << got;
}

TEST(VersionFileRewrite, CharactersBeyondLatin1BecomeQuestionMarks) {
  const std::string got = ComposeVersionFile({L"\u00E9t\u00E9"}, L"Mirevo \u66F4\u65B0 \u00C9dition\u20AC",
                                             L"2.2.3.04170", kNow);
  EXPECT_NE(got.find("\r\n\xE9t\xE9\r\n"), std::string::npos);
  EXPECT_NE(got.find("Updated_1_ProductName=Mirevo ?? \xC9" "dition?\r\n"), std::string::npos) << got;
}

TEST(VersionFileRewrite, DescriptionStaysOnItsLine) {
  // A line break would add a counter line of its own; Ctrl-Z would end the
  // text for the next reader. U+010A narrows to "?", never to a line feed.
  const std::wstring description = L"a\r\nUpdateCount=99\n\tb\x01\x1A\x1F\x7F\x80 ~\u00A0\u010A";
  const std::string got = ComposeVersionFile({L"kept\rline"}, description, L"2.2.3.04170", kNow);
  EXPECT_EQ(got, "2.2.3.04170\r\nkept\rline\r\nUpdateCount=1\r\nUpdated_1_Date=2024/3/5 07:08:09\r\n"
                 "Updated_1_ProductName=a  UpdateCount=99  b    \x80 ~\xA0?\r\n"
                 "Updated_1_Version=2.2.3.04170\r\n"
                 "Updated_1_ProductGUID={5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}\r\n");
}

TEST(VersionFileRewrite, SecondUpdateReadsBackTheFirstOne) {
  const std::string first = Compose({L"2.0.1.12040", L"", L"Version=2.0.1.12040"});
  const std::string second = ComposeVersionFile(SplitVersionFileLines(first), kDescription, L"2.2.4.00001", kNow);
  const std::string expected = "2.2.4.00001\r\n2.2.3.04170\r\n2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=2\r\n" +
                               Record(1) + "Updated_2_Date=2024/3/5 07:08:09\r\nUpdated_2_ProductName=Mirevo Update\r\n" +
                               "Updated_2_Version=2.2.4.00001\r\n" +
                               "Updated_2_ProductGUID={5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}\r\n";
  EXPECT_EQ(second, expected);
}

}  // namespace

namespace {

TEST(VersionFileRecords, AFileThatEndsWithThisUpdatesRecordIsNotGivenItTwice) {
  const std::vector<std::wstring> written = SplitVersionFileLines(Compose({L"2.0.1.12040", L"Version=2.0.1.12040"}));
  EXPECT_TRUE(RecordsUpdateTo(written, kVersion));
  // Another version's update, or one still to come after an earlier record of this one.
  EXPECT_FALSE(RecordsUpdateTo(written, L"2.2.4.00001"));
  EXPECT_FALSE(RecordsUpdateTo(SplitVersionFileLines(ComposeVersionFile(written, kDescription, L"2.2.4.00001", kNow)),
                               kVersion));
  // The installer's own file, or one whose version line is not this update's.
  EXPECT_FALSE(RecordsUpdateTo({L"2.0.1.12040", L"Version=2.0.1.12040"}, L"2.0.1.12040"));
  std::vector<std::wstring> otherFirst = written;
  otherFirst.front() = L"2.0.1.12040";
  EXPECT_FALSE(RecordsUpdateTo(otherFirst, kVersion));
  // A record whose last two lines have different numbers, or another product's GUID.
  std::vector<std::wstring> mismatched = written;
  mismatched[mismatched.size() - 2] = L"Updated_7_Version=" + kVersion;
  EXPECT_FALSE(RecordsUpdateTo(mismatched, kVersion));
  std::vector<std::wstring> otherGuid = written;
  otherGuid.back() = L"Updated_1_ProductGUID={00000000-0000-0000-0000-000000000000}";
  EXPECT_FALSE(RecordsUpdateTo(otherGuid, kVersion));
  EXPECT_FALSE(RecordsUpdateTo({}, kVersion));
  EXPECT_FALSE(RecordsUpdateTo(written, L""));
}

}  // namespace
