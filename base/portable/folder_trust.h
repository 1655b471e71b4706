// Whether an existing work folder may be used by the elevated updater: only
// when nobody but the administrators and the system can change it.
#pragma once

#include <cstdint>
#include <vector>

// Who an owner or an access entry names, as far as the decision goes.
enum class Trustee { kAdministrators, kSystem, kOther };

// One entry of a folder's access list.
struct AccessEntry {
  bool allows = false;        // an allowing entry (of any kind); denying entries only take rights away
  bool inheritOnly = false;   // applies to what is made inside, not to the folder itself
  Trustee trustee = Trustee::kOther;
  std::uint32_t mask = 0;     // the access mask, generic rights included
};

// Rights that let the holder change the folder, its entries or its security.
std::uint32_t FolderWriteRights();

struct FolderFacts {
  bool isFolder = false;
  bool isLink = false;
  bool hasAccessList = false;  // no access list (a null DACL) grants everyone everything
  Trustee owner = Trustee::kOther;
  std::vector<AccessEntry> entries;
};

// True only for a folder that is not a link, is owned by the administrators
// or the system, and whose access list allows no one else to write.
bool IsTrustedWorkFolder(const FolderFacts& facts);
