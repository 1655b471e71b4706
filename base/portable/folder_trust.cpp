#include "base/portable/folder_trust.h"

namespace {

// Windows' access rights, spelled out so that this stays free of <windows.h>.
constexpr std::uint32_t kAddFile = 0x0002;          // also FILE_WRITE_DATA
constexpr std::uint32_t kAddSubfolder = 0x0004;     // also FILE_APPEND_DATA
constexpr std::uint32_t kWriteExtended = 0x0010;
constexpr std::uint32_t kDeleteChild = 0x0040;
constexpr std::uint32_t kWriteAttributes = 0x0100;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

}  // namespace

std::uint32_t FolderWriteRights() {
  return kAddFile | kAddSubfolder | kWriteExtended | kDeleteChild | kWriteAttributes | kDelete | kWriteDac |
         kWriteOwner | kMaximumAllowed | kGenericAll | kGenericWrite;
}

bool IsTrustedWorkFolder(const FolderFacts& facts) {
  if (!facts.isFolder || facts.isLink || !facts.hasAccessList || facts.owner == Trustee::kOther) return false;
  for (const AccessEntry& entry : facts.entries) {
    if (!entry.allows || entry.inheritOnly || entry.trustee != Trustee::kOther) continue;
    if ((entry.mask & FolderWriteRights()) != 0) return false;
  }
  return true;
}
