#include "app/admin_check.h"

#include <windows.h>

#include "app/os_version_cache.h"
#include "base/portable/outcome.h"
#include "base/win32_raii.h"

bool IsAdministratorsMember(bool& member) {
  member = false;
  if (OsVersionCache().platformId != outcome::kPlatformWin32Nt) return false;

  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
  DWORD needed = 0;
  if (GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  UniqueGlobal buffer(GlobalAlloc(GMEM_ZEROINIT, needed));
  if (!buffer) return false;
  GlobalLockGuard lock(buffer.Get());
  auto* groups = static_cast<TOKEN_GROUPS*>(lock.Data());
  if (groups == nullptr || !GetTokenInformation(token.Get(), TokenGroups, groups, needed, &needed)) return false;

  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  UniqueSid administrators;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                0, 0, 0, administrators.Receive())) {
    return false;
  }
  for (DWORD i = 0; i < groups->GroupCount && !member; ++i) {
    const SID_AND_ATTRIBUTES& group = groups->Groups[i];
    member = EqualSid(group.Sid, administrators.Get()) && (group.Attributes & SE_GROUP_ENABLED) != 0;
  }
  return true;
}
