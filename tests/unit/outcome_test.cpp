#include "base/portable/outcome.h"

#include <gtest/gtest.h>

#include "base/portable/hresult.h"

namespace {

using outcome::ClosingMessageFor;

TEST(ClosingMessage, NothingToReportShowsNoBox) {
  EXPECT_FALSE(ClosingMessageFor(hresult::kFalse).show);
}

TEST(ClosingMessage, NonNegativeResultsAreSuccess) {
  for (int32_t r : {0, 2, 0x7FFFFFFF}) {
    const auto m = ClosingMessageFor(r);
    EXPECT_TRUE(m.show) << r;
    EXPECT_EQ(m.messageId, 1210u) << r;
    EXPECT_EQ(m.boxType, 0u) << r;
    EXPECT_FALSE(m.formatWithCode) << r;
  }
}

TEST(ClosingMessage, AbortIsCancellationWithoutCode) {
  const auto m = ClosingMessageFor(hresult::kAbort);
  EXPECT_EQ(m.messageId, 1211u);
  EXPECT_EQ(m.boxType, 0u);
  EXPECT_FALSE(m.formatWithCode);
}

TEST(ClosingMessage, OtherFailuresCarryTheirCodeWithStopIcon) {
  for (uint32_t r : {0x80070002u, 0x80070057u, 0x80000000u, 0xFFFFFFFFu}) {
    const auto m = ClosingMessageFor(static_cast<int32_t>(r));
    EXPECT_EQ(m.messageId, 1213u) << std::hex << r;
    EXPECT_EQ(m.boxType, 0x10u) << std::hex << r;
    EXPECT_TRUE(m.formatWithCode) << std::hex << r;
  }
}

TEST(AdministratorCheck, CompletedCheckAnswersByMembership) {
  EXPECT_TRUE(outcome::AdministratorCheckAllows(true, true, 2));
  EXPECT_FALSE(outcome::AdministratorCheckAllows(true, false, 2));
  EXPECT_FALSE(outcome::AdministratorCheckAllows(true, false, 1));
}

TEST(AdministratorCheck, IncompleteCheckRefusesOnlyOnNt) {
  EXPECT_FALSE(outcome::AdministratorCheckAllows(false, false, 2));
  EXPECT_TRUE(outcome::AdministratorCheckAllows(false, false, 1));
  EXPECT_TRUE(outcome::AdministratorCheckAllows(false, false, 0));  // version unreadable
}

TEST(Hresult, LastErrorMapping) {
  EXPECT_EQ(static_cast<uint32_t>(hresult::FromWin32(2)), 0x80070002u);
  EXPECT_EQ(static_cast<uint32_t>(hresult::FromWin32(0x12345)), 0x80072345u);  // low 16 bits only
  EXPECT_EQ(hresult::FromWin32(0), 0);
  EXPECT_EQ(hresult::FromWin32(hresult::kAbort), hresult::kAbort);
}

}  // namespace
