#include "base/portable/format_with_code.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatWithCode, FailureMessageShowsEightLowerCaseDigits) {
  EXPECT_EQ(FormatWithCode(L"Package Update Failed.\r\n(code = 0x%08x)", 0x80004005u),
            L"Package Update Failed.\r\n(code = 0x80004005)");
  EXPECT_EQ(FormatWithCode(L"(code = 0x%08x)", 0x8007000Eu), L"(code = 0x8007000e)");
  EXPECT_EQ(FormatWithCode(L"(code = 0x%08x)", 0x2u), L"(code = 0x00000002)");
}

TEST(FormatWithCode, OtherNumericConversions) {
  EXPECT_EQ(FormatWithCode(L"%X", 0xABCu), L"ABC");
  EXPECT_EQ(FormatWithCode(L"%d", 0xFFFFFFFFu), L"-1");
  EXPECT_EQ(FormatWithCode(L"%u", 0xFFFFFFFFu), L"4294967295");
  EXPECT_EQ(FormatWithCode(L"[%-6x]", 0x1Fu), L"[1f    ]");
  EXPECT_EQ(FormatWithCode(L"%#x", 0x1Fu), L"0x1f");
  EXPECT_EQ(FormatWithCode(L"%lx", 0x1Fu), L"1f");
}

TEST(FormatWithCode, LiteralPercentAndTextWithoutConversion) {
  EXPECT_EQ(FormatWithCode(L"100%% done", 7), L"100% done");
  EXPECT_EQ(FormatWithCode(L"no code here", 7), L"no code here");
  EXPECT_EQ(FormatWithCode(L"", 7), L"");
}

TEST(FormatWithCode, TranslatedTextsCannotReadMissingArguments) {
  // Only the first numeric conversion takes the code; strings and later
  // conversions stay as text instead of reading what is not there.
  EXPECT_EQ(FormatWithCode(L"%s and 0x%08x", 0x10u), L"%s and 0x00000010");
  EXPECT_EQ(FormatWithCode(L"%x then %x", 0x10u), L"10 then %x");
  EXPECT_EQ(FormatWithCode(L"%n%p", 1u), L"%n%p");
  EXPECT_EQ(FormatWithCode(L"trailing %", 1u), L"trailing %");
  EXPECT_EQ(FormatWithCode(L"trailing %08", 1u), L"trailing %08");
}

TEST(FormatWithCode, HugeWidthsAreBounded) {
  const std::wstring out = FormatWithCode(L"%99999999999x", 1u);
  EXPECT_LE(out.size(), 64u);
  EXPECT_EQ(out.back(), L'1');
}

}  // namespace
