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

HRESULT SetText(HKEY key, const wchar_t* name, const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return HRESULT_FROM_WIN32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes));
}

std::wstring TodayText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[16];
  std::swprintf(text, 16, L"%d%02d%02d", now.wYear, now.wMonth, now.wDay);
  return text;
}

// Both values, the date only after the version; empty texts are not written.
HRESULT WriteDisplayVersionAndDate(HKEY key, const std::wstring& version, const std::wstring& date) {
  if (version.empty()) return S_FALSE;
  const HRESULT written = SetText(key, L"DisplayVersion", version.c_str());
  if (FAILED(written) || date.empty()) return written;
  return SetText(key, L"InstallDate", date.c_str());
}

}  // namespace

HRESULT WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version) {
  const REGSAM access = KEY_READ | KEY_WRITE | Wow64ThirtyTwoBitView();
  UniqueRegKey package;
  const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPackageKey, 0, access, package.Receive());
  if (opened == ERROR_FILE_NOT_FOUND) return S_FALSE;
  if (opened != ERROR_SUCCESS) return HRESULT_FROM_WIN32(opened);
  if (patchId == nullptr) return E_INVALIDARG;
  const std::wstring entryName = std::wstring(L"PatchList\\") + patchId;
  UniqueRegKey entry;
  const LSTATUS created = RegCreateKeyExW(package.Get(), entryName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          KEY_READ | KEY_WRITE, nullptr, entry.Receive(), nullptr);
  if (created != ERROR_SUCCESS) return HRESULT_FROM_WIN32(created);
  HRESULT result = SetText(entry.Get(), L"patchid", patchId);
  if (SUCCEEDED(result)) result = productDescription != nullptr ? SetText(entry.Get(), L"patchname", productDescription) : E_INVALIDARG;
  if (SUCCEEDED(result)) result = version != nullptr ? SetText(entry.Get(), L"version", version) : E_INVALIDARG;
  return result;
}

HRESULT UpdateUninstallEntry(const std::wstring& version) {
  const std::wstring date = TodayText();
  const bool processor64 = Is64BitProcessor();
  UniqueRegKey key;
  // The 64-bit edition's entry is looked for in the 64-bit view itself.
  const LSTATUS first = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall64BitEdition, 0,
                                      KEY_WRITE | (processor64 ? KEY_WOW64_64KEY : 0), key.Receive());
  if (first == ERROR_SUCCESS) return WriteDisplayVersionAndDate(key.Get(), version, date);
  const LSTATUS second = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall32BitEdition, 0,
                                       KEY_WRITE | Wow64ThirtyTwoBitView(), key.Receive());
  if (second == ERROR_SUCCESS) return WriteDisplayVersionAndDate(key.Get(), version, date);
  if (first != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(first);
  if (second != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(second);
  return S_FALSE;
}
