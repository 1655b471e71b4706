#include "payload/work_folder.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/platform.h"
#include "base/system_library.h"
#include "base/trace.h"
#include "base/trusted_folder.h"
#include "base/win32_raii.h"
#include "payload/portable/folder_table.h"

namespace {

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
  const HRESULT named = TakeTrustedFolder(parent.Get(), path, made, L"work folder");
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
  HeldFolder& held = Held();
  if (!held.handle) return false;
  const bool marked = MarkForDeletion(held.handle.Get());
  // A failure other than a folder that holds something else may pass: the
  // folder stays held for another try.
  if (!marked && GetLastError() != ERROR_DIR_NOT_EMPTY) return false;
  held = HeldFolder();  // closed: a folder marked for deletion goes now
  return marked;
}
