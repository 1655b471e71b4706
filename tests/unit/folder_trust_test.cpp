#include "base/portable/folder_trust.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kReadAndExecute = 0x001200A9;

AccessEntry Allow(Trustee trustee, std::uint32_t mask, bool inheritOnly = false) {
  return AccessEntry{true, inheritOnly, trustee, mask};
}

// The folder the updater makes: owned by the administrators, full control
// for them and the system only.
FolderFacts Protected() {
  FolderFacts facts;
  facts.isFolder = true;
  facts.hasAccessList = true;
  facts.owner = Trustee::kAdministrators;
  facts.entries = {Allow(Trustee::kSystem, kFullControl), Allow(Trustee::kAdministrators, kFullControl)};
  return facts;
}

TEST(WorkFolderTrust, OnlyAProtectedFolderOfAdministratorsOrSystemIsTrusted) {
  EXPECT_TRUE(IsTrustedWorkFolder(Protected()));
  FolderFacts system = Protected();
  system.owner = Trustee::kSystem;
  EXPECT_TRUE(IsTrustedWorkFolder(system));

  FolderFacts userOwned = Protected();
  userOwned.owner = Trustee::kOther;  // the owner can always rewrite the access list
  EXPECT_FALSE(IsTrustedWorkFolder(userOwned));
  FolderFacts link = Protected();
  link.isLink = true;
  EXPECT_FALSE(IsTrustedWorkFolder(link));
  FolderFacts file = Protected();
  file.isFolder = false;
  EXPECT_FALSE(IsTrustedWorkFolder(file));
  FolderFacts nullList = Protected();
  nullList.hasAccessList = false;
  nullList.entries.clear();
  EXPECT_FALSE(IsTrustedWorkFolder(nullList));
}

TEST(WorkFolderTrust, AnyRightToChangeTheFolderForSomeoneElseIsRefused) {
  // Each right alone is enough to plant or swap a file, or to take the folder over.
  for (std::uint32_t right : {0x0002u, 0x0004u, 0x0010u, 0x0040u, 0x0100u, 0x00010000u, 0x00040000u, 0x00080000u,
                              0x10000000u, 0x40000000u}) {
    FolderFacts facts = Protected();
    facts.entries.push_back(Allow(Trustee::kOther, kReadAndExecute | right));
    EXPECT_FALSE(IsTrustedWorkFolder(facts)) << std::hex << right;
  }
  // Reading is harmless, as are entries that only apply to what is made
  // inside and entries that deny.
  FolderFacts facts = Protected();
  facts.entries.push_back(Allow(Trustee::kOther, kReadAndExecute));
  facts.entries.push_back(Allow(Trustee::kOther, kFullControl, /*inheritOnly=*/true));
  facts.entries.push_back(AccessEntry{false, false, Trustee::kOther, kFullControl});
  EXPECT_TRUE(IsTrustedWorkFolder(facts));
}

}  // namespace
