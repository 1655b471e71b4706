#include "records/retired_features.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/win32_raii.h"
#include "records/removal.h"

namespace {

const wchar_t kTravioKey[] = L"SOFTWARE\\Orvane Corporation\\Travio";

// A special folder as it is, never created; empty when it cannot be resolved.
std::wstring SpecialFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  return SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) ? std::wstring(folder) : std::wstring();
}

}  // namespace

bool DeleteRetiredUserFile() {
  const std::wstring folder = SpecialFolder(CSIDL_LOCAL_APPDATA);
  if (folder.empty()) return false;
  // The profile's user may have made any folder below it a link.
  return DeleteFileBelow(folder, L"Orvane Corporation\\Mirevo\\Sktfpx.txt");
}

void ClearRetiredUserValue() {
  UniqueRegKey key;
  // Opened, never created: a user without the key gets no value.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kTravioKey, 0, KEY_WRITE, key.Receive()) != ERROR_SUCCESS) return;
  const DWORD zero = 0;
  RegSetValueExW(key.Get(), L"VqmgpGzrktgf", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
}

void RemoveSocialinkPictureFolder() {
  const std::wstring folder = SpecialFolder(CSIDL_COMMON_APPDATA);
  if (folder.empty()) return;
  // ProgramData itself is the system's; any folder below it a user may have made.
  RemoveFolderTree(folder, L"Orvane Corporation\\QVLLib\\Socialink_PIC");
}

void RemoveRetiredFeatureData() {
  DeleteRetiredUserFile();
  ClearRetiredUserValue();
  RemoveSocialinkPictureFolder();
}

void DeleteWebMediaValue() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTravioKey, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) return;
  RegDeleteValueW(key.Get(), L"WEBMEDIA");
}

void DeleteRetiredHelpFiles() {
  const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILESX86);
  if (programFiles.empty()) return;
  for (const wchar_t* language : {L"ENG", L"FRA", L"ESP", L"PTB"}) {
    for (const wchar_t* name : {L"NC Browse.chm", L"NC Playback.chm"}) {
      DeleteFileBelow(programFiles, std::wstring(L"Orvane\\Mirevo\\") + language + L"\\" + name);
    }
  }
}
