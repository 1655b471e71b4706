#include "base/trusted_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/portable/aside_name.h"
#include "base/portable/folder_trust.h"
#include "base/trace.h"

namespace {

// Full control for the system and the administrators, nothing inherited from
// the folder that holds it; owned by the administrators.
constexpr const wchar_t* kProtectedSecurity = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr const wchar_t* kProtectedSecurityAnyOwner = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// What the held handle may do; the missing delete sharing keeps anyone else
// from renaming or removing the folder while it is held.
constexpr ACCESS_MASK kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | DELETE |
                                    FILE_READ_ATTRIBUTES;
constexpr DWORD kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr int kAttempts = 3;

Trustee TrusteeOf(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return Trustee::kOther;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Trustee::kAdministrators;
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return Trustee::kSystem;
  return Trustee::kOther;
}

// What the trust decision needs to know of an open folder.
FolderFacts FactsOf(HANDLE folder, const std::wstring& path) {
  FolderFacts facts;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(folder, &information)) return facts;
  facts.isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || ListedAsLink(path);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &dacl, nullptr, &security) != ERROR_SUCCESS) {
    return facts;  // unreadable: owned by someone else
  }
  UniqueLocal release(security);
  facts.owner = TrusteeOf(owner);
  facts.hasAccessList = dacl != nullptr;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      facts.hasAccessList = false;  // a list that cannot be read is not trusted
      break;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry entry;
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
      entry.allows = true;
      entry.mask = allowed->Mask;
      entry.trustee = TrusteeOf(const_cast<DWORD*>(&allowed->SidStart));
    } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      entry.allows = false;
    } else {
      // Object and conditional entries: read as allowing anything to anyone.
      entry.allows = true;
      entry.mask = FolderWriteRights();
    }
    facts.entries.push_back(entry);
  }
  return facts;
}

// Renames whatever holds the folder's name out of the way; nothing of it is
// deleted, as it may hold the user's files. A link must be renamed itself:
// where the rename went through it instead (as under Wine, which renames what
// a Linux link points to), what it points to is put back and the step fails,
// so that nothing of the user's is ever moved. `pointedTo` is where the entry
// as opened leads, when it could be opened.
bool MoveAside(const std::wstring& path, const std::wstring& pointedTo, const wchar_t* what) {
  const bool link = ListedAsLink(path);
  const std::wstring aside = AsideName(path.c_str(), GetCurrentProcessId(), GetTickCount());
  if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) return false;
  if (link && !ListedAsLink(aside)) {
    const bool restored = !pointedTo.empty() && MoveFileExW(aside.c_str(), pointedTo.c_str(), 0);
    Trace(L"%ls: the link %ls cannot be renamed itself; what it points to %ls", what, path.c_str(),
          restored ? L"is back in its place" : L"stays renamed aside");
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  Trace(L"%ls: moved aside to %ls", what, aside.c_str());
  return true;
}

// Gives the open folder the protected security (also where the creation did
// not apply it, as Wine does not).
bool Protect(HANDLE folder, PSECURITY_DESCRIPTOR security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  if (!GetSecurityDescriptorOwner(security, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) || !present) {
    return false;
  }
  SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
  if (owner != nullptr) what |= OWNER_SECURITY_INFORMATION;
  const DWORD error = SetSecurityInfo(folder, SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

}  // namespace

UniqueFileHandle CreateProtectedFolder(HANDLE parent, const std::wstring& name) {
  for (const wchar_t* text : {kProtectedSecurity, kProtectedSecurityAnyOwner}) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &security, nullptr)) {
      return UniqueFileHandle();
    }
    UniqueLocal release(security);
    UniqueFileHandle made =
        CreateFolderEntry(parent, name, kHeldAccess | WRITE_DAC | WRITE_OWNER, kHeldShare, security);
    if (made && Protect(made.Get(), security)) return made;
    // A token that may not make the administrators the owner (when the
    // program is not elevated through them) still gets the protected list.
    const DWORD error = GetLastError();
    if (made) MarkForDeletion(made.Get());
    if (error != ERROR_INVALID_OWNER) {
      SetLastError(error);
      return UniqueFileHandle();
    }
  }
  return UniqueFileHandle();
}

HRESULT TakeTrustedFolder(HANDLE parent, const std::wstring& path, UniqueFileHandle& made, const wchar_t* what,
                          const std::function<bool(HANDLE)>& madeBefore) {
  const std::wstring leaf = path.substr(path.find_last_of(L'\\') + 1);
  HRESULT failure = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    UniqueFileHandle existing = OpenEntry(parent, leaf, kHeldAccess, 0, kHeldShare);
    if (existing) {
      const FolderFacts facts = FactsOf(existing.Get(), path);
      if (IsTrustedWorkFolder(facts) ||
          (madeBefore && facts.isFolder && !facts.isLink && madeBefore(existing.Get()))) {
        made = std::move(existing);
        return S_OK;
      }
      Trace(L"%ls: %ls is not the updater's own", what, path.c_str());
      const std::wstring pointedTo = FinalPathOf(existing.Get());
      existing.Reset();  // held without delete sharing: it would stop the rename
      if (!MoveAside(path, pointedTo, what)) return LastErrorResult();
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      // Something that cannot even be opened (a file in use, a folder that
      // shuts out the administrators) can still be renamed in the folder that holds it.
      if (!MoveAside(path, std::wstring(), what)) return LastErrorResult();
    }
    made = CreateProtectedFolder(parent, leaf);
    if (made) return S_OK;
    failure = LastErrorResult();
    // Something took the name between the look and the creation: look again.
    if (failure != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) && failure != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
      break;
    }
  }
  return failure;
}
