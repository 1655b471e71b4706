#include "applicability/portable/applicability_rule.h"

#include "applicability/portable/version_text.h"

int DecideApplicability(const std::wstring& installedVersion, const std::wstring& versionEntry,
                        const std::wstring& ownVersion) {
  // The version entry only has to be present; the first word is what is compared.
  if (versionEntry.empty()) return 202;
  if (CompareVersions(installedVersion, applicability::kMinimumVersion) == -1) return 202;
  if (CompareVersions(applicability::kTargetVersion, installedVersion) == 1) return 0;
  return CompareVersions(ownVersion, installedVersion) == 1 ? 202 : 203;
}
