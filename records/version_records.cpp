#include "records/version_records.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "base/platform.h"
#include "base/win32_raii.h"

namespace {

const wchar_t kPackageKey[] = L"Software\\Orvane Corporation\\Shared Info\\AppDB\\Mirevo";
const wchar_t kUninstall64BitEdition[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7A3C51E0-4B2F-4D9A-8E61-C05F2B93D417}";
const wchar_t kUninstall32BitEdition[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{E2904F6B-1C7A-4E35-B8D2-6F41A0C93E58}";

// The maker's keys live in the 32-bit view, which a WOW64 process names explicitly.
REGSAM Wow64ThirtyTwoBitView() { return Is64BitProcessor() && IsRunningUnderWow64() ? KEY_WOW64_32KEY : 0; }

bool SetText(HKEY key, const wchar_t* name, const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) == ERROR_SUCCESS;
}

std::wstring TodayText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[16];
  std::swprintf(text, 16, L"%d%02d%02d", now.wYear, now.wMonth, now.wDay);
  return text;
}

// Both values, the date only after the version; empty texts are not written.
bool WriteDisplayVersionAndDate(HKEY key, const std::wstring& version, const std::wstring& date) {
  return !version.empty() && SetText(key, L"DisplayVersion", version.c_str()) && !date.empty() &&
         SetText(key, L"InstallDate", date.c_str());
}

}  // namespace

bool WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version) {
  const REGSAM access = KEY_READ | KEY_WRITE | Wow64ThirtyTwoBitView();
  UniqueRegKey package;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPackageKey, 0, access, package.Receive()) != ERROR_SUCCESS) return false;
  if (patchId == nullptr) return false;
  const std::wstring entryName = std::wstring(L"PatchList\\") + patchId;
  UniqueRegKey entry;
  if (RegCreateKeyExW(package.Get(), entryName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, entry.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return SetText(entry.Get(), L"patchid", patchId) && productDescription != nullptr &&
         SetText(entry.Get(), L"patchname", productDescription) && version != nullptr &&
         SetText(entry.Get(), L"version", version);
}

bool UpdateUninstallEntry(const std::wstring& version) {
  const std::wstring date = TodayText();
  const bool processor64 = Is64BitProcessor();
  UniqueRegKey key;
  // The 64-bit edition's entry is looked for in the 64-bit view itself.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall64BitEdition, 0, KEY_WRITE | (processor64 ? KEY_WOW64_64KEY : 0),
                    key.Receive()) == ERROR_SUCCESS) {
    return WriteDisplayVersionAndDate(key.Get(), version, date);
  }
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall32BitEdition, 0, KEY_WRITE | Wow64ThirtyTwoBitView(),
                    key.Receive()) == ERROR_SUCCESS) {
    return WriteDisplayVersionAndDate(key.Get(), version, date);
  }
  return false;
}
