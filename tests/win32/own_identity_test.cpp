// The update's own version, description and package identity from its version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include "applicability/own_identity.h"

namespace {

TEST(OwnIdentity, VersionIsTheTarget) { EXPECT_EQ(GetOwnVersion(), L"2.2.3.04170"); }

TEST(OwnIdentity, DescriptionFollowsTheUserInterfaceLanguage) {
  const std::wstring description = GetOwnDescription();
  EXPECT_FALSE(description.empty());
  // Under an English interface the English description is chosen.
  if (GetUserDefaultUILanguage() == 1033) {
    EXPECT_NE(description.find(L"Mirevo"), std::wstring::npos);
  }
}

TEST(OwnIdentity, FillsThePatchIdentity) {
  std::wstring name, id, version;
  FillPatchIdentity(name, id, version);
  EXPECT_EQ(id, L"EP0000517904");
  EXPECT_EQ(version, L"2.2.3.04170");
  EXPECT_EQ(name, GetOwnDescription());
}

}  // namespace
