#include "applicability/portable/version_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseVersionText, FourPartsAndShortTexts) {
  EXPECT_EQ(ParseVersionText(L"2.2.3.04170"), (VersionParts{2, 2, 3, 4170}));
  // The last part read is repeated when the dots run out.
  EXPECT_EQ(ParseVersionText(L"2.2"), (VersionParts{2, 2, 2, 2}));
  EXPECT_EQ(ParseVersionText(L"3"), (VersionParts{3, 3, 3, 3}));
  EXPECT_EQ(ParseVersionText(L""), (VersionParts{0, 0, 0, 0}));
  EXPECT_EQ(ParseVersionText(L"1.2.3.4.5"), (VersionParts{1, 2, 3, 4}));
}

TEST(ParseVersionText, NumbersAsTheDecimalConversionReadsThem) {
  EXPECT_EQ(ParseVersionText(L" 1. -2.+3.x"), (VersionParts{1, -2, 3, 0}));
  EXPECT_EQ(ParseVersionText(L"1a.2b.3c.4d"), (VersionParts{1, 2, 3, 4}));
  EXPECT_EQ(ParseVersionText(L"99999999999.0.0.-99999999999"), (VersionParts{INT32_MAX, 0, 0, INT32_MIN}));
}

TEST(CompareVersions, WindowOfThisUpdate) {
  EXPECT_EQ(CompareVersions(L"2.0.1.12039", L"2.0.1.12040"), -1);
  EXPECT_EQ(CompareVersions(L"2.0.1.12040", L"2.0.1.12040"), 0);
  EXPECT_EQ(CompareVersions(L"2.2.3.04170", L"2.2.3.04169"), 1);
  EXPECT_EQ(CompareVersions(L"3.0.0.00000", L"2.2.3.04170"), 1);
}

TEST(CompareVersions, NumericNotTextual) {
  EXPECT_EQ(CompareVersions(L"2.2.3.04170", L"2.2.3.4170"), 0);
  EXPECT_EQ(CompareVersions(L"2.2.03.4170", L"2.2.3.04170"), 0);
  EXPECT_EQ(CompareVersions(L"2.10.0.0", L"2.9.0.0"), 1);
  EXPECT_EQ(CompareVersions(L"-1.0.0.0", L"0.0.0.0"), -1);  // signed parts
  EXPECT_EQ(CompareVersions(L"", L"0.0.0.0"), 0);
}

TEST(FormatVersion, RevisionIsPaddedToFiveDigits) {
  EXPECT_EQ(FormatVersion(2, 2, 3, 4170), L"2.2.3.04170");
  EXPECT_EQ(FormatVersion(2, 0, 1, 12040), L"2.0.1.12040");
  EXPECT_EQ(FormatVersion(65535, 0, 0, 65535), L"65535.0.0.65535");
  EXPECT_EQ(FormatFileVersion(0x00020002u, 0x0003104Au), L"2.2.3.04170");
}

}  // namespace
