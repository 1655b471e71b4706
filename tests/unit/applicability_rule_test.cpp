#include "applicability/portable/applicability_rule.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kOwn = L"2.2.3.04170";

TEST(Applicability, InstalledVersionsInsideTheWindowApply) {
  EXPECT_EQ(DecideApplicability(L"2.0.1.12040", L"x", kOwn), 0);
  EXPECT_EQ(DecideApplicability(L"2.1.0.0", L"x", kOwn), 0);
  EXPECT_EQ(DecideApplicability(L"2.2.3.04169", L"x", kOwn), 0);
}

TEST(Applicability, NothingApplicableInstalled) {
  EXPECT_EQ(DecideApplicability(L"", L"", kOwn), 202);                // no version file
  EXPECT_EQ(DecideApplicability(L"2.0.1.12040", L"", kOwn), 202);     // no "Version=" word
  EXPECT_EQ(DecideApplicability(L"2.0.1.12039", L"x", kOwn), 202);    // below the minimum
  EXPECT_EQ(DecideApplicability(L"1.9.9.99999", L"x", kOwn), 202);
}

TEST(Applicability, TargetOrNewerInstalled) {
  EXPECT_EQ(DecideApplicability(L"2.2.3.04170", L"x", kOwn), 203);
  EXPECT_EQ(DecideApplicability(L"2.2.3.4170", L"x", kOwn), 203);
  EXPECT_EQ(DecideApplicability(L"2.2.03.4170", L"x", kOwn), 203);
  EXPECT_EQ(DecideApplicability(L"3.0.0.00000", L"x", kOwn), 203);
  // Without a version resource the program counts as 0.0.0.0.
  EXPECT_EQ(DecideApplicability(L"2.2.3.04170", L"x", L""), 203);
}

TEST(Applicability, ProgramNewerThanTheTargetOnTopOfTheTarget) {
  EXPECT_EQ(DecideApplicability(L"2.2.3.04170", L"x", L"2.2.4.00000"), 202);
  EXPECT_EQ(DecideApplicability(L"2.2.3.05000", L"x", L"2.2.4.00000"), 202);
  EXPECT_EQ(DecideApplicability(L"2.2.4.00000", L"x", L"2.2.4.00000"), 203);
}

}  // namespace
