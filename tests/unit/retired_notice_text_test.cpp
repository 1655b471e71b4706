#include "records/portable/retired_notice_text.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kFormat = L"The %s link function is gone (%s).";
const std::wstring k206 = L"The INTERNET CONTENT function is gone.";

std::wstring Line(const wchar_t* service) { return FormatRetiredLine(kFormat, service); }

TEST(RetiredLine, ServiceNameFillsBothPlaces) {
  EXPECT_EQ(Line(L"YouTube"), L"The YouTube link function is gone (YouTube).");
  EXPECT_EQ(FormatRetiredLine(L"%s", L"X"), L"X");
  EXPECT_EQ(FormatRetiredLine(L"no names", L"X"), L"no names");
}

TEST(RetiredLine, OnlyTwoNamesAndNothingElseIsRead) {
  EXPECT_EQ(FormatRetiredLine(L"%s %s %s", L"X"), L"X X %s");
  EXPECT_EQ(FormatRetiredLine(L"100%% %d %s%", L"X"), L"100% %d X%");
}

TEST(RetiredNotice, OlderOrEqualVersionNamesAllThreeServices) {
  const std::wstring three = Line(L"Tiwtter") + L"\n" + Line(L"Facebook") + L"\n" + Line(L"YouTube");
  for (const wchar_t* version : {L"2.2.0.00000", L"2.0.1.12040", L"2.1.9.99999", L"2.1", L""}) {
    EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, version, 8, false, k206), three) << version;
  }
}

TEST(RetiredNotice, NewerVersionNamesTwoServices) {
  const std::wstring two = Line(L"Facebook") + L"\n" + Line(L"YouTube");
  for (const wchar_t* version : {L"2.2.0.00001", L"2.2.3.04169", L"10.0.0.0"}) {
    EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, version, 7, false, k206), two) << version;
  }
}

TEST(RetiredNotice, InternetContentLineWhenTheFunctionIsInUse) {
  EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, L"2.2.3.04169", 14, true, k206),
            Line(L"Facebook") + L"\n" + Line(L"YouTube") + L"\n" + k206);
  // A catalogue without the text still adds the line feed.
  EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, L"2.2.3.04169", 14, true, L""),
            Line(L"Facebook") + L"\n" + Line(L"YouTube") + L"\n");
}

TEST(RetiredNotice, ChineseReleaseGetsNoNotice) {
  EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, L"2.0.1.12040", 1, false, k206), std::nullopt);
  // Not even for the internet content function.
  EXPECT_EQ(ComposeRetiredFeatureNotice(kFormat, L"2.0.1.12040", 1, true, k206), std::nullopt);
  for (int area : {0, 2, 5, 7, 23}) {
    EXPECT_NE(ComposeRetiredFeatureNotice(kFormat, L"2.0.1.12040", area, false, k206), std::nullopt) << area;
  }
}

TEST(RetiredNotice, EmptyLineFormat) {
  // Three empty lines are two characters and still shown; two are one and not.
  EXPECT_EQ(ComposeRetiredFeatureNotice(L"", L"2.0.1.12040", 8, false, k206), std::wstring(L"\n\n"));
  EXPECT_EQ(ComposeRetiredFeatureNotice(L"", L"2.2.3.04169", 8, true, k206), std::nullopt);
}

}  // namespace
