#include "tests/faults/fault_procedures.h"

#include <winternl.h>

#include <atomic>
#include <cstring>
#include <string>

#include "tests/faults/fault_keys.h"
#include "tests/faults/fault_objects.h"

#define FAULT_SITE __builtin_return_address(0)

namespace {

using faults::Decision;
using faults::Record;

constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022);

// Nt functions and BCrypt answer with an NTSTATUS: UPDATER_FAULT_ERROR is
// taken as one for them; the default is STATUS_ACCESS_DENIED.
LONG StatusOf(const Decision& decision) {
  return decision.error == ERROR_ACCESS_DENIED ? kStatusAccessDenied : static_cast<LONG>(decision.error);
}

// ---- ntdll

using NtCreateFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                    ULONG, ULONG, ULONG, ULONG, void*, ULONG);
std::atomic<NtCreateFileFn> realNtCreateFile{nullptr};

std::wstring NtObject(const OBJECT_ATTRIBUTES* attributes) {
  if (attributes == nullptr) return std::wstring();
  std::wstring name;
  if (attributes->ObjectName != nullptr && attributes->ObjectName->Buffer != nullptr) {
    name = faults::PathObject(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(wchar_t));
  }
  if (attributes->RootDirectory == nullptr) return name;
  std::wstring folder = faults::HandleObject(attributes->RootDirectory);
  if (name.empty()) return folder;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder + name;
}

LONG NTAPI FaultNtCreateFile(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                             IO_STATUS_BLOCK* status, LARGE_INTEGER* size, ULONG fileAttributes, ULONG share,
                             ULONG disposition, ULONG options, void* extended, ULONG extendedSize) {
  const NtCreateFileFn real = realNtCreateFile.load();
  if (!faults::Active()) {
    return real(handle, access, attributes, status, size, fileAttributes, share, disposition, options, extended,
                extendedSize);
  }
  const std::wstring object = NtObject(attributes);
  const Decision decision = Record("NtCreateFile", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return StatusOf(decision);
  const LONG result = real(handle, access, attributes, status, size, fileAttributes, share, disposition, options,
                           extended, extendedSize);
  if (result >= 0) faults::NoteHandle(*handle, object);
  return result;
}

// ---- bcrypt

using GenRandomFn = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
std::atomic<GenRandomFn> realGenRandom{nullptr};

LONG WINAPI FaultBCryptGenRandom(void* algorithm, unsigned char* buffer, ULONG size, ULONG flags) {
  if (faults::Active()) {
    const Decision decision = Record("BCryptGenRandom", FAULT_SITE, std::wstring(), ERROR_ACCESS_DENIED);
    if (decision.fail) return StatusOf(decision);
  }
  return realGenRandom.load()(algorithm, buffer, size, flags);
}

// ---- Restart Manager: one session per run, so the calls have no object.

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, void*, UINT, LPCWSTR*);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, void*, DWORD*);
std::atomic<RmStartSessionFn> realRmStartSession{nullptr};
std::atomic<RmRegisterResourcesFn> realRmRegisterResources{nullptr};
std::atomic<RmGetListFn> realRmGetList{nullptr};

DWORD WINAPI FaultRmStartSession(DWORD* session, DWORD flags, WCHAR* key) {
  if (faults::Active()) {
    const Decision decision = Record("RmStartSession", FAULT_SITE, std::wstring(), ERROR_ACCESS_DENIED);
    if (decision.fail) return decision.error;
  }
  return realRmStartSession.load()(session, flags, key);
}

DWORD WINAPI FaultRmRegisterResources(DWORD session, UINT files, LPCWSTR* names, UINT processes, void* list,
                                      UINT services, LPCWSTR* serviceNames) {
  if (faults::Active()) {
    const Decision decision = Record("RmRegisterResources", FAULT_SITE, std::wstring(), ERROR_ACCESS_DENIED);
    if (decision.fail) return decision.error;
  }
  return realRmRegisterResources.load()(session, files, names, processes, list, services, serviceNames);
}

DWORD WINAPI FaultRmGetList(DWORD session, UINT* needed, UINT* count, void* list, DWORD* reasons) {
  if (faults::Active()) {
    const Decision decision = Record("RmGetList", FAULT_SITE, std::wstring(), ERROR_ACCESS_DENIED);
    if (decision.fail) return decision.error;
  }
  return realRmGetList.load()(session, needed, count, list, reasons);
}

// ---- shell32's folder creation (ordinal 165): answers with an error code.

using CreateDirectoryFn = int(WINAPI*)(HWND, const wchar_t*);
std::atomic<CreateDirectoryFn> realShCreateDirectory{nullptr};
constexpr WORD kShCreateDirectoryOrdinal = 165;

int WINAPI FaultShCreateDirectory(HWND window, const wchar_t* path) {
  if (faults::Active()) {
    const Decision decision = Record("SHCreateDirectory", FAULT_SITE, faults::PathObject(path), ERROR_ACCESS_DENIED);
    if (decision.fail) return static_cast<int>(decision.error);
  }
  return realShCreateDirectory.load()(window, path);
}

template <typename Function>
FARPROC Handed(std::atomic<Function>& slot, FARPROC real, Function wrapper) {
  slot.store(reinterpret_cast<Function>(reinterpret_cast<void*>(real)));
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(wrapper));
}

}  // namespace

namespace faults {

FARPROC WrappedProcedure(HMODULE module, LPCSTR name, FARPROC real) {
  if (IS_INTRESOURCE(name)) {
    if (LOWORD(reinterpret_cast<UINT_PTR>(name)) == kShCreateDirectoryOrdinal &&
        module == GetModuleHandleW(L"shell32.dll")) {
      return Handed(realShCreateDirectory, real, &FaultShCreateDirectory);
    }
    return real;
  }
  if (std::strcmp(name, "NtCreateFile") == 0) return Handed(realNtCreateFile, real, &FaultNtCreateFile);
  if (std::strcmp(name, "BCryptGenRandom") == 0) return Handed(realGenRandom, real, &FaultBCryptGenRandom);
  if (std::strcmp(name, "RmStartSession") == 0) return Handed(realRmStartSession, real, &FaultRmStartSession);
  if (std::strcmp(name, "RmRegisterResources") == 0) {
    return Handed(realRmRegisterResources, real, &FaultRmRegisterResources);
  }
  if (std::strcmp(name, "RmGetList") == 0) return Handed(realRmGetList, real, &FaultRmGetList);
  return real;
}

}  // namespace faults
