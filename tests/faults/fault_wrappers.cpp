// The wrappers of the import slots listed in wrapped_imports.h. Each one
// names its call (fault_objects.h), has it counted and logged, and either
// fails it as the function itself fails or calls the system's function.
// With no variable set they only pass the call on.
#include <windows.h>
#include <aclapi.h>

#include "tests/faults/fault_keys.h"
#include "tests/faults/fault_objects.h"
#include "tests/faults/fault_procedures.h"
#include "tests/faults/wrapped_imports.h"

#define FAULT_SITE __builtin_return_address(0)

namespace {

using faults::Decision;
using faults::Record;

template <typename Result>
Result Failed(const Decision& decision, Result failure) {
  SetLastError(decision.error);
  return failure;
}

// ---- files

HANDLE WINAPI FaultCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (!faults::Active()) {
    return FAULT_REAL(CreateFileW)(path, access, share, security, disposition, flags, templateFile);
  }
  const std::wstring object = faults::PathObject(path);
  const Decision decision = Record("CreateFileW", FAULT_SITE, object, ERROR_SHARING_VIOLATION);
  if (decision.fail) return Failed(decision, INVALID_HANDLE_VALUE);
  HANDLE file = FAULT_REAL(CreateFileW)(path, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();  // ERROR_ALREADY_EXISTS and the like are part of the answer
    faults::NoteHandle(file, object);
    SetLastError(error);
  }
  return file;
}

BOOL WINAPI FaultReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  if (faults::Active()) {
    const Decision decision = Record("ReadFile", FAULT_SITE, faults::HandleObject(file), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(ReadFile)(file, buffer, size, read, overlapped);
}

BOOL WINAPI FaultWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (faults::Active()) {
    const Decision decision = Record("WriteFile", FAULT_SITE, faults::HandleObject(file), ERROR_DISK_FULL);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(WriteFile)(file, buffer, size, written, overlapped);
}

BOOL WINAPI FaultFlushFileBuffers(HANDLE file) {
  if (faults::Active()) {
    const Decision decision =
        Record("FlushFileBuffers", FAULT_SITE, faults::HandleObject(file), ERROR_DISK_FULL);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(FlushFileBuffers)(file);
}

BOOL WINAPI FaultSetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                            DWORD size) {
  if (faults::Active()) {
    const Decision decision =
        Record("SetFileInformationByHandle", FAULT_SITE, faults::HandleObject(file), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(SetFileInformationByHandle)(file, kind, information, size);
}

BOOL WINAPI FaultSetFileAttributesW(LPCWSTR path, DWORD attributes) {
  if (faults::Active()) {
    const Decision decision =
        Record("SetFileAttributesW", FAULT_SITE, faults::PathObject(path), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(SetFileAttributesW)(path, attributes);
}

DWORD WINAPI FaultGetFileAttributesW(LPCWSTR path) {
  if (faults::Active()) {
    const Decision decision =
        Record("GetFileAttributesW", FAULT_SITE, faults::PathObject(path), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, INVALID_FILE_ATTRIBUTES);
  }
  return FAULT_REAL(GetFileAttributesW)(path);
}

BOOL WINAPI FaultSetFileTime(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                             const FILETIME* written) {
  if (faults::Active()) {
    const Decision decision = Record("SetFileTime", FAULT_SITE, faults::HandleObject(file), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(SetFileTime)(file, created, accessed, written);
}

// A move is named by what it makes or replaces: the target, or the source
// when there is none (a deletion at the next restart).
BOOL WINAPI FaultMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (faults::Active()) {
    const Decision decision =
        Record("MoveFileExW", FAULT_SITE, faults::PathObject(to ? to : from), ERROR_SHARING_VIOLATION);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(MoveFileExW)(from, to, flags);
}

BOOL WINAPI FaultMoveFileW(LPCWSTR from, LPCWSTR to) {
  if (faults::Active()) {
    const Decision decision =
        Record("MoveFileW", FAULT_SITE, faults::PathObject(to ? to : from), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(MoveFileW)(from, to);
}

BOOL WINAPI FaultDeleteFileW(LPCWSTR path) {
  if (faults::Active()) {
    const Decision decision = Record("DeleteFileW", FAULT_SITE, faults::PathObject(path), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(DeleteFileW)(path);
}

DWORD WINAPI FaultSetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID owner,
                                  PSID group, PACL dacl, PACL sacl) {
  if (faults::Active()) {
    const std::wstring object = type == SE_REGISTRY_KEY ? faults::KeyObject(static_cast<HKEY>(handle), nullptr, 0)
                                                        : faults::HandleObject(handle);
    const Decision decision = Record("SetSecurityInfo", FAULT_SITE, object, ERROR_ACCESS_DENIED);
    if (decision.fail) return decision.error;
  }
  return FAULT_REAL(SetSecurityInfo)(handle, type, what, owner, group, dacl, sacl);
}

// ---- processes

void NoteProcess(BOOL started, const LPPROCESS_INFORMATION information, const std::wstring& object) {
  if (started && information != nullptr) {
    const DWORD error = GetLastError();
    faults::NoteHandle(information->hProcess, object);
    SetLastError(error);
  }
}

BOOL WINAPI FaultCreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags, LPVOID environment,
                                LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
  if (!faults::Active()) {
    return FAULT_REAL(CreateProcessW)(application, commandLine, processSecurity, threadSecurity, inherit, flags,
                                      environment, folder, startup, information);
  }
  const std::wstring object = faults::ProgramObject(application, commandLine);
  const Decision decision = Record("CreateProcessW", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, FALSE);
  const BOOL started = FAULT_REAL(CreateProcessW)(application, commandLine, processSecurity, threadSecurity,
                                                  inherit, flags, environment, folder, startup, information);
  NoteProcess(started, information, object);
  return started;
}

BOOL WINAPI FaultCreateProcessAsUserW(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                      LPSECURITY_ATTRIBUTES processSecurity, LPSECURITY_ATTRIBUTES threadSecurity,
                                      BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR folder,
                                      LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
  if (!faults::Active()) {
    return FAULT_REAL(CreateProcessAsUserW)(token, application, commandLine, processSecurity, threadSecurity,
                                            inherit, flags, environment, folder, startup, information);
  }
  const std::wstring object = faults::ProgramObject(application, commandLine);
  const Decision decision = Record("CreateProcessAsUserW", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, FALSE);
  const BOOL started = FAULT_REAL(CreateProcessAsUserW)(token, application, commandLine, processSecurity,
                                                        threadSecurity, inherit, flags, environment, folder,
                                                        startup, information);
  NoteProcess(started, information, object);
  return started;
}

BOOL WINAPI FaultCreateProcessWithTokenW(HANDLE token, DWORD logon, LPCWSTR application, LPWSTR commandLine,
                                         DWORD flags, LPVOID environment, LPCWSTR folder, LPSTARTUPINFOW startup,
                                         LPPROCESS_INFORMATION information) {
  if (!faults::Active()) {
    return FAULT_REAL(CreateProcessWithTokenW)(token, logon, application, commandLine, flags, environment, folder,
                                               startup, information);
  }
  const std::wstring object = faults::ProgramObject(application, commandLine);
  const Decision decision = Record("CreateProcessWithTokenW", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, FALSE);
  const BOOL started = FAULT_REAL(CreateProcessWithTokenW)(token, logon, application, commandLine, flags,
                                                           environment, folder, startup, information);
  NoteProcess(started, information, object);
  return started;
}

HANDLE WINAPI FaultOpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  if (!faults::Active()) return FAULT_REAL(OpenProcess)(access, inherit, processId);
  const std::wstring object = faults::ProcessObject(processId);
  const Decision decision = Record("OpenProcess", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, static_cast<HANDLE>(nullptr));
  HANDLE process = FAULT_REAL(OpenProcess)(access, inherit, processId);
  if (process != nullptr) {
    const DWORD error = GetLastError();
    faults::NoteHandle(process, object);
    SetLastError(error);
  }
  return process;
}

BOOL WINAPI FaultTerminateProcess(HANDLE process, UINT exitCode) {
  if (faults::Active() && process != GetCurrentProcess()) {
    const Decision decision =
        Record("TerminateProcess", FAULT_SITE, faults::HandleObject(process), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(TerminateProcess)(process, exitCode);
}

FARPROC WINAPI FaultGetProcAddress(HMODULE module, LPCSTR name) {
  const FARPROC real = FAULT_REAL(GetProcAddress)(module, name);
  return real != nullptr ? faults::WrappedProcedure(module, name, real) : nullptr;
}

// ---- registry

LSTATUS WINAPI FaultRegCreateKeyExW(HKEY parent, LPCWSTR subkey, DWORD reserved, LPWSTR kind, DWORD options,
                                    REGSAM access, const LPSECURITY_ATTRIBUTES security, PHKEY key,
                                    LPDWORD disposition) {
  if (!faults::Active()) {
    return FAULT_REAL(RegCreateKeyExW)(parent, subkey, reserved, kind, options, access, security, key, disposition);
  }
  const Decision decision =
      Record("RegCreateKeyExW", FAULT_SITE, faults::KeyObject(parent, subkey, access), ERROR_ACCESS_DENIED);
  if (decision.fail) return static_cast<LSTATUS>(decision.error);
  const LSTATUS status =
      FAULT_REAL(RegCreateKeyExW)(parent, subkey, reserved, kind, options, access, security, key, disposition);
  if (status == ERROR_SUCCESS) faults::NoteKey(*key, parent, subkey, access);
  return status;
}

LSTATUS WINAPI FaultRegOpenKeyExW(HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key) {
  if (!faults::Active()) return FAULT_REAL(RegOpenKeyExW)(parent, subkey, options, access, key);
  const Decision decision =
      Record("RegOpenKeyExW", FAULT_SITE, faults::KeyObject(parent, subkey, access), ERROR_ACCESS_DENIED);
  if (decision.fail) return static_cast<LSTATUS>(decision.error);
  const LSTATUS status = FAULT_REAL(RegOpenKeyExW)(parent, subkey, options, access, key);
  if (status == ERROR_SUCCESS) faults::NoteKey(*key, parent, subkey, access);
  return status;
}

LSTATUS WINAPI FaultRegQueryValueExW(HKEY key, LPCWSTR value, LPDWORD reserved, LPDWORD kind, LPBYTE data,
                                     LPDWORD size) {
  if (faults::Active()) {
    const Decision decision =
        Record("RegQueryValueExW", FAULT_SITE, faults::ValueObject(key, value), ERROR_ACCESS_DENIED);
    if (decision.fail) return static_cast<LSTATUS>(decision.error);
  }
  return FAULT_REAL(RegQueryValueExW)(key, value, reserved, kind, data, size);
}

LSTATUS WINAPI FaultRegSetValueExW(HKEY key, LPCWSTR value, DWORD reserved, DWORD kind, const BYTE* data,
                                   DWORD size) {
  if (faults::Active()) {
    const Decision decision =
        Record("RegSetValueExW", FAULT_SITE, faults::ValueObject(key, value), ERROR_ACCESS_DENIED);
    if (decision.fail) return static_cast<LSTATUS>(decision.error);
  }
  return FAULT_REAL(RegSetValueExW)(key, value, reserved, kind, data, size);
}

LSTATUS WINAPI FaultRegDeleteValueW(HKEY key, LPCWSTR value) {
  if (faults::Active()) {
    const Decision decision =
        Record("RegDeleteValueW", FAULT_SITE, faults::ValueObject(key, value), ERROR_ACCESS_DENIED);
    if (decision.fail) return static_cast<LSTATUS>(decision.error);
  }
  return FAULT_REAL(RegDeleteValueW)(key, value);
}

// ---- services

SC_HANDLE WINAPI FaultOpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access) {
  if (!faults::Active()) return FAULT_REAL(OpenSCManagerW)(machine, database, access);
  const Decision decision = Record("OpenSCManagerW", FAULT_SITE, L"SCM", ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, static_cast<SC_HANDLE>(nullptr));
  SC_HANDLE manager = FAULT_REAL(OpenSCManagerW)(machine, database, access);
  if (manager != nullptr) faults::NoteService(manager, L"SCM");
  return manager;
}

SC_HANDLE WINAPI FaultOpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD access) {
  if (!faults::Active()) return FAULT_REAL(OpenServiceW)(manager, name, access);
  const std::wstring object = name ? name : L"";
  const Decision decision = Record("OpenServiceW", FAULT_SITE, object, ERROR_ACCESS_DENIED);
  if (decision.fail) return Failed(decision, static_cast<SC_HANDLE>(nullptr));
  SC_HANDLE service = FAULT_REAL(OpenServiceW)(manager, name, access);
  if (service != nullptr) {
    const DWORD error = GetLastError();
    faults::NoteService(service, object);
    SetLastError(error);
  }
  return service;
}

BOOL WINAPI FaultQueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size,
                                      LPDWORD needed) {
  if (faults::Active()) {
    const Decision decision =
        Record("QueryServiceStatusEx", FAULT_SITE, faults::ServiceObject(service), ERROR_ACCESS_DENIED);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(QueryServiceStatusEx)(service, level, buffer, size, needed);
}

BOOL WINAPI FaultControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (faults::Active()) {
    const Decision decision =
        Record("ControlService", FAULT_SITE, faults::ServiceObject(service), ERROR_SERVICE_REQUEST_TIMEOUT);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(ControlService)(service, control, status);
}

BOOL WINAPI FaultStartServiceW(SC_HANDLE service, DWORD count, LPCWSTR* arguments) {
  if (faults::Active()) {
    const Decision decision =
        Record("StartServiceW", FAULT_SITE, faults::ServiceObject(service), ERROR_SERVICE_REQUEST_TIMEOUT);
    if (decision.fail) return Failed(decision, FALSE);
  }
  return FAULT_REAL(StartServiceW)(service, count, arguments);
}

}  // namespace

// The wrapped slots: what the program's calls through the import table now
// find. Each initialiser must have the slot's own type, which catches a
// wrapper whose signature differs from the function's.
#define FAULT_DEFINE_WRAP(function, bytes)                                                      \
  extern "C" void* fault_wrap_##function asm("___wrap__imp__" #function "@" #bytes);            \
  void* fault_wrap_##function = reinterpret_cast<void*>(static_cast<decltype(&::function)>(&Fault##function));
FAULT_WRAPPED_IMPORTS(FAULT_DEFINE_WRAP)
#undef FAULT_DEFINE_WRAP
