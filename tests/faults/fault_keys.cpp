#include "tests/faults/fault_keys.h"

#include <cstdlib>
#include <map>

#include "tests/faults/immortal.h"
#include "tests/faults/wrapped_imports.h"

namespace faults {
namespace {

constexpr DWORD kKilledExitCode = 0xC000013A;  // STATUS_CONTROL_C_EXIT, as a killed task ends

std::wstring Variable(const wchar_t* name) {
  wchar_t buffer[4096];
  const DWORD length = GetEnvironmentVariableW(name, buffer, ARRAYSIZE(buffer));
  if (length == 0 || length >= ARRAYSIZE(buffer)) return std::wstring();
  std::wstring value(buffer, length);
  while (!value.empty() && (value.back() == L'\r' || value.back() == L'\n')) value.pop_back();
  return value;
}

// Everything the variables say, read once. Plain members only: it may be
// first used by a static initialiser of the program, on any thread.
struct Settings {
  bool active = false;
  HANDLE log = INVALID_HANDLE_VALUE;  // held for the whole run, written by the real WriteFile
  std::wstring faultAt;
  bool hasError = false;
  DWORD error = 0;
  bool kill = false;
  UINT_PTR imageBase = 0;
};

Settings ReadSettings() {
  Settings settings;
  settings.imageBase = reinterpret_cast<UINT_PTR>(GetModuleHandleW(nullptr));
  const std::wstring logPath = Variable(L"UPDATER_FAULT_LOG");
  settings.faultAt = Variable(L"UPDATER_FAULT_AT");
  const std::wstring error = Variable(L"UPDATER_FAULT_ERROR");
  if (!error.empty()) {
    settings.hasError = true;
    settings.error = static_cast<DWORD>(std::wcstoul(error.c_str(), nullptr, 0));  // decimal or 0x hex
  }
  settings.kill = Variable(L"UPDATER_FAULT_KILL") == L"1";
  if (!logPath.empty()) {
    // The real CreateFileW: the log's own calls are not keys.
    settings.log = FAULT_REAL(CreateFileW)(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  settings.active = settings.log != INVALID_HANDLE_VALUE || !settings.faultAt.empty();
  return settings;
}

const Settings& TheSettings() {
  static Immortal<Settings> settings(ReadSettings());
  return settings.Get();
}

// Occurrences and the log, under one lock so that the log's order is the counting order.
SRWLOCK lock = SRWLOCK_INIT;

std::map<std::wstring, unsigned>& Occurrences() {
  static Immortal<std::map<std::wstring, unsigned>> occurrences;
  return occurrences.Get();
}

// Appends one line. WriteFile hands the bytes to the system at once (there is
// no buffer in the process), so a line written survives a killed process.
void AppendLine(const Settings& settings, const std::wstring& line) {
  if (settings.log == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                      nullptr);
  DWORD written = 0;
  FAULT_REAL(WriteFile)(settings.log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Widen(const char* text) {
  std::wstring wide;
  while (*text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text++)));
  return wide;
}

}  // namespace

bool Active() { return TheSettings().active; }

std::wstring SiteOf(const void* returnAddress) {
  wchar_t text[16];
  const UINT_PTR offset = reinterpret_cast<UINT_PTR>(returnAddress) - TheSettings().imageBase;
  swprintf(text, ARRAYSIZE(text), L"0x%08lx", static_cast<unsigned long>(offset));
  return text;
}

std::wstring KeyText(const char* function, const std::wstring& site, const std::wstring& object, unsigned occurrence) {
  return Widen(function) + L"\t" + site + L"\t" + object + L"\t" + std::to_wstring(occurrence);
}

Decision Record(const char* function, const void* returnAddress, const std::wstring& object, DWORD defaultError) {
  const Settings& settings = TheSettings();
  const std::wstring site = SiteOf(returnAddress);
  std::wstring key;
  Decision decision;
  AcquireSRWLockExclusive(&lock);
  const unsigned occurrence = ++Occurrences()[Widen(function) + L"\t" + site + L"\t" + object];
  key = KeyText(function, site, object, occurrence);
  AppendLine(settings, key);
  if (key == settings.faultAt) {
    AppendLine(settings, L"FAULT\t" + key);
    if (settings.kill) FAULT_REAL(TerminateProcess)(GetCurrentProcess(), kKilledExitCode);
    decision.fail = true;
    decision.error = settings.hasError ? settings.error : defaultError;
  }
  ReleaseSRWLockExclusive(&lock);
  return decision;
}

}  // namespace faults
