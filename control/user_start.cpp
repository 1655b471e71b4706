#include "control/user_start.h"

#include <userenv.h>
#include <wtsapi32.h>

#include <vector>

#include "base/system_library.h"
#include "base/win32_raii.h"
#include "control/process_tools.h"
#include "control/program_start.h"

namespace {

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;

// A user's environment block, destroyed by the library that made it.
class EnvironmentBlock {
 public:
  using Destroy = decltype(&DestroyEnvironmentBlock);
  EnvironmentBlock(HANDLE token, decltype(&CreateEnvironmentBlock) create, Destroy destroy) : destroy_(destroy) {
    if (create == nullptr || destroy == nullptr || !create(&block_, token, FALSE)) block_ = nullptr;
  }
  ~EnvironmentBlock() {
    if (block_ != nullptr) destroy_(block_);
  }
  EnvironmentBlock(const EnvironmentBlock&) = delete;
  EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
  void* Get() const { return block_; }

 private:
  void* block_ = nullptr;
  Destroy destroy_;
};

DWORD ProcessError(BOOL succeeded, PROCESS_INFORMATION& started) {
  if (!succeeded) return GetLastError();
  UniqueHandle thread(started.hThread);
  UniqueHandle process(started.hProcess);
  return ERROR_SUCCESS;
}

}  // namespace

bool RunsAsSystemAccount() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  return IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}

DWORD StartAsUserOfProcess(DWORD processId, const std::wstring& path) {
  if (processId == 0) return ERROR_INVALID_PARAMETER;
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return GetLastError();
  UniqueHandle token;
  if (!OpenProcessToken(process.Get(), TOKEN_DUPLICATE, token.Receive())) return GetLastError();
  UniqueHandle primary;
  if (!DuplicateTokenEx(token.Get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                         TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, primary.Receive())) {
    return GetLastError();
  }
  const std::wstring folder = FolderOf(path);
  std::wstring commandLine = ProgramCommandLine(path, nullptr);
  STARTUPINFOW startup = HiddenStartup();
  PROCESS_INFORMATION started{};
  return ProcessError(CreateProcessWithTokenW(primary.Get(), 0, path.c_str(), commandLine.data(), 0, nullptr,
                                              folder.empty() ? nullptr : folder.c_str(), &startup, &started),
                      started);
}

DWORD StartAsConsoleUser(const std::wstring& path) {
  static const auto queryUserToken =
      SystemFunction<decltype(&WTSQueryUserToken)>(L"wtsapi32.dll", "WTSQueryUserToken");
  static const auto createEnvironment =
      SystemFunction<decltype(&CreateEnvironmentBlock)>(L"userenv.dll", "CreateEnvironmentBlock");
  static const auto destroyEnvironment =
      SystemFunction<decltype(&DestroyEnvironmentBlock)>(L"userenv.dll", "DestroyEnvironmentBlock");
  const DWORD session = WTSGetActiveConsoleSessionId();
  if (session == kNoConsoleSession) return ERROR_NO_SUCH_LOGON_SESSION;
  if (queryUserToken == nullptr) return ERROR_PROC_NOT_FOUND;
  UniqueHandle token;
  if (!queryUserToken(session, token.Receive())) return GetLastError();
  // Without the user's own environment the program still starts, with the system's.
  EnvironmentBlock environment(token.Get(), createEnvironment, destroyEnvironment);
  const std::wstring folder = FolderOf(path);
  std::wstring commandLine = ProgramCommandLine(path, nullptr);
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup = HiddenStartup(desktop);
  PROCESS_INFORMATION started{};
  return ProcessError(CreateProcessAsUserW(token.Get(), path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                           environment.Get() ? CREATE_UNICODE_ENVIRONMENT : 0, environment.Get(),
                                           folder.empty() ? nullptr : folder.c_str(), &startup, &started),
                      started);
}
