#include "payload/work_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <utility>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/platform.h"
#include "base/system_library.h"
#include "base/trace.h"
#include "base/win32_raii.h"
#include "payload/portable/aside_name.h"
#include "payload/portable/folder_table.h"
#include "base/portable/folder_trust.h"

namespace {

// Full control for the system and the administrators, nothing inherited from
// the user's temporary folder; owned by the administrators.
constexpr const wchar_t* kProtectedSecurity = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr const wchar_t* kProtectedSecurityAnyOwner = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// What the held handle may do; the missing delete sharing keeps anyone else
// from renaming or removing the folder while it is held.
constexpr ACCESS_MASK kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | DELETE |
                                    FILE_READ_ATTRIBUTES;
constexpr DWORD kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr int kAttempts = 3;

struct HeldFolder {
  UniqueFileHandle handle;
  std::wstring path;       // with its trailing backslash
  std::wstring requested;  // the name's own path, which a fresh name stands in for
};

HeldFolder& Held() {
  static HeldFolder held;
  return held;
}

std::wstring TemporaryFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder = temp;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

// The shell's folder creation makes missing parents too.
void CreateFolderWithParents(const std::wstring& folder) {
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  using CreateDirectoryFn = int(WINAPI*)(HWND, const wchar_t*);
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (shell == nullptr) return;  // imported by the program, so always there
  const auto create = reinterpret_cast<CreateDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(165))));
  if (create != nullptr) create(nullptr, folder.c_str());
}

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
bool MoveAside(const std::wstring& path, const std::wstring& pointedTo) {
  const bool link = ListedAsLink(path);
  const std::wstring aside = AsideName(path.c_str(), GetCurrentProcessId(), GetTickCount());
  if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) return false;
  if (link && !ListedAsLink(aside)) {
    const bool restored = !pointedTo.empty() && MoveFileExW(aside.c_str(), pointedTo.c_str(), 0);
    Trace(L"work folder: the link %ls cannot be renamed itself; what it points to %ls", path.c_str(),
          restored ? L"is back in its place" : L"stays renamed aside");
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  Trace(L"work folder: moved aside to %ls", aside.c_str());
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

// Makes the folder `path` in `parent`, or uses the one there when it is the
// updater's own; anything else of that name is moved aside first.
HRESULT TakeName(HANDLE parent, const std::wstring& path, UniqueFileHandle& made) {
  const std::wstring leaf = path.substr(path.find_last_of(L'\\') + 1);
  HRESULT failure = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    UniqueFileHandle existing = OpenEntry(parent, leaf, kHeldAccess, 0, kHeldShare);
    if (existing) {
      if (IsTrustedWorkFolder(FactsOf(existing.Get(), path))) {
        made = std::move(existing);
        return S_OK;
      }
      Trace(L"work folder: %ls is not the updater's own", path.c_str());
      const std::wstring pointedTo = FinalPathOf(existing.Get());
      existing.Reset();  // held without delete sharing: it would stop the rename
      if (!MoveAside(path, pointedTo)) return LastErrorResult();
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      // Something that cannot even be opened (a file in use, a folder that
      // shuts out the administrators) can still be renamed in the user's folder.
      if (!MoveAside(path, std::wstring())) return LastErrorResult();
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

// 64 bits from the system's random number generator.
bool RandomBits(std::uint64_t& bits) {
  using GenerateFn = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
  constexpr ULONG kSystemPreferredGenerator = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
  static const auto generate = SystemFunction<GenerateFn>(L"bcrypt.dll", "BCryptGenRandom");
  return generate != nullptr &&
         generate(nullptr, reinterpret_cast<unsigned char*>(&bits), sizeof bits, kSystemPreferredGenerator) >= 0;
}

// Makes a new folder beside `path`, "<name>.<process id>-<random>.tmp" for
// "<name>.tmp"; `used` receives its path. Only a name nobody can predict will
// do: one that could be known beforehand could be taken beforehand.
HRESULT TakeFreshName(HANDLE parent, const std::wstring& path, std::wstring& used, UniqueFileHandle& made) {
  std::uint64_t random = 0;
  if (!RandomBits(random)) {
    used = path.substr(0, path.size() - 4) + L".<random>.tmp";
    return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  }
  wchar_t marker[48];
  std::swprintf(marker, 48, L".%lx-%08lx%08lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long>(random >> 32), static_cast<unsigned long>(random & 0xFFFFFFFFu));
  used = path.substr(0, path.size() - 4) + marker;  // in place of ".tmp"
  made = CreateProtectedFolder(parent, used.substr(used.find_last_of(L'\\') + 1));
  return made ? S_OK : LastErrorResult();
}

}  // namespace

std::wstring WorkFolderName() {
  const std::wstring name = LastPathComponent(OwnModulePath());
  if (!name.empty()) return name;
  wchar_t fallback[32];
  std::swprintf(fallback, 32, L"%x.%08x", static_cast<unsigned>(GetCurrentProcessId()),
                static_cast<unsigned>(GetTickCount()));
  return fallback;
}

HRESULT MakeWorkFolder(const std::wstring& name, std::wstring& folder) {
  folder.clear();
  HeldFolder& held = Held();
  const std::wstring path = ToLongPath(TemporaryFolder() + name + L".tmp");
  if (held.handle && held.requested == path) {
    folder = held.path;
    return S_OK;
  }
  held = HeldFolder();

  const size_t slash = path.find_last_of(L'\\');
  const std::wstring parentPath = path.substr(0, slash + 1);
  CreateFolderWithParents(parentPath);
  UniqueFileHandle parent = OpenFolder(parentPath, FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE |
                                                       FILE_READ_ATTRIBUTES | SYNCHRONIZE);
  if (!parent) return LastErrorResult();

  std::wstring used = path;
  UniqueFileHandle made;
  const HRESULT named = TakeName(parent.Get(), path, made);
  if (FAILED(named)) {
    Trace(L"work folder: %ls cannot be made: 0x%08lX", path.c_str(), static_cast<unsigned long>(named));
    // Whatever holds the name (a folder kept open by another program, a link
    // that cannot be renamed) must not stop the update: a fresh folder of a
    // name nobody can know beforehand serves as well.
    const HRESULT fresh = TakeFreshName(parent.Get(), path, used, made);
    if (FAILED(fresh)) {
      Trace(L"work folder: %ls cannot be made: 0x%08lX", used.c_str(), static_cast<unsigned long>(fresh));
      return named;
    }
  }
  held.handle = std::move(made);
  held.path = used + L"\\";
  held.requested = path;
  folder = held.path;
  Trace(L"work folder: %ls", held.path.c_str());
  return S_OK;
}

HANDLE HeldWorkFolder() {
  const HeldFolder& held = Held();
  return held.handle ? held.handle.Get() : nullptr;
}

bool RemoveWorkFolderIfEmpty() {
  const HeldFolder held = std::exchange(Held(), HeldFolder());
  return held.handle && MarkForDeletion(held.handle.Get());
}
