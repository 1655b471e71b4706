#include "records/retired_features.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/file_facts.h"
#include "base/win32_raii.h"
#include "records/removal.h"

namespace {

const wchar_t kTravioKey[] = L"SOFTWARE\\Orvane Corporation\\Travio";

// A special folder as it is, never created; empty when it cannot be resolved.
std::wstring SpecialFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  return SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) ? std::wstring(folder) : std::wstring();
}

const wchar_t kRetiredUserFile[] = L"Orvane Corporation\\Mirevo\\Sktfpx.txt";
const wchar_t kSocialinkPictureFolder[] = L"Orvane Corporation\\QVLLib\\Socialink_PIC";

// Whether nothing is left under that name (an unknown special folder holds nothing).
bool NothingAt(const std::wstring& folder, const std::wstring& relative) {
  return folder.empty() || !FactsOfFile(folder + L"\\" + relative).exists;
}

}  // namespace

bool DeleteRetiredUserFile() {
  const std::wstring folder = SpecialFolder(CSIDL_LOCAL_APPDATA);
  if (folder.empty()) return false;
  // The profile's user may have made any folder below it a link.
  return DeleteFileBelow(folder, kRetiredUserFile);
}

bool ClearRetiredUserValue() {
  UniqueRegKey key;
  // Opened, never created: a user without the key gets no value.
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, kTravioKey, 0, KEY_WRITE, key.Receive());
  if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND;
  const DWORD zero = 0;
  return RegSetValueExW(key.Get(), L"VqmgpGzrktgf", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                        sizeof zero) == ERROR_SUCCESS;
}

void RemoveSocialinkPictureFolder() {
  const std::wstring folder = SpecialFolder(CSIDL_COMMON_APPDATA);
  if (folder.empty()) return;
  // ProgramData itself is the system's; any folder below it a user may have made.
  RemoveFolderTree(folder, kSocialinkPictureFolder);
}

bool RemoveRetiredFeatureData() {
  DeleteRetiredUserFile();
  const bool cleared = ClearRetiredUserValue();
  RemoveSocialinkPictureFolder();
  return cleared && NothingAt(SpecialFolder(CSIDL_LOCAL_APPDATA), kRetiredUserFile) &&
         NothingAt(SpecialFolder(CSIDL_COMMON_APPDATA), kSocialinkPictureFolder);
}

bool DeleteWebMediaValue() {
  UniqueRegKey key;
  const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTravioKey, 0, KEY_ALL_ACCESS, key.Receive());
  if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND;
  const LSTATUS deleted = RegDeleteValueW(key.Get(), L"WEBMEDIA");
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool DeleteRetiredHelpFiles() {
  const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILESX86);
  if (programFiles.empty()) return true;
  bool none = true;
  for (const wchar_t* language : {L"ENG", L"FRA", L"ESP", L"PTB"}) {
    for (const wchar_t* name : {L"NC Browse.chm", L"NC Playback.chm"}) {
      const std::wstring relative = std::wstring(L"Orvane\\Mirevo\\") + language + L"\\" + name;
      DeleteFileBelow(programFiles, relative);
      none = NothingAt(programFiles, relative) && none;
    }
  }
  return none;
}
