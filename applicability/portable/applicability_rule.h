// Whether this update applies on top of what is installed.
#pragma once
#include <string>

namespace applicability {

// The lowest installed version this update applies to, and the version it brings.
inline const wchar_t kMinimumVersion[] = L"2.0.1.12040";
inline const wchar_t kTargetVersion[] = L"2.2.3.04170";
// The fixed identifier of this update package.
inline const wchar_t kPatchIdentifier[] = L"EP0000517904";

}  // namespace applicability

// 0 when the update applies; otherwise the message that explains the refusal:
// 202 (nothing applicable installed: no version entry, or older than the
// minimum; or the installed version is at least the target but this program
// is newer still) or 203 (the target or a newer version is installed).
int DecideApplicability(const std::wstring& installedVersion, const std::wstring& versionEntry,
                        const std::wstring& ownVersion);
