#include <windows.h>

#include "base/messages.h"
#include "base/portable/outcome.h"
#include "base/win32_raii.h"
#include "applicability/installed_product.h"
#include "records/area_code.h"
#include "records/retired_features.h"
#include "records/portable/retired_notice_text.h"

bool IsWebMediaEnabled() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvane Corporation\\Travio", 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof value;
  return RegQueryValueExW(key.Get(), L"WEBMEDIA", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof value && value == 1;
}

void ShowRetiredFeatureNotice() {
  const std::wstring caption = LoadMessage(outcome::kMsgCaption);
  const std::wstring lineFormat = LoadMessage(outcome::kMsgFeatureRetired);
  // The installed version as the applicability check read it from the version file.
  const auto text = ComposeRetiredFeatureNotice(lineFormat, InstalledVersion(), GetAreaCode(), IsWebMediaEnabled(),
                                                LoadMessage(outcome::kMsgInternetContentRetired));
  if (!text) return;
  MessageBoxW(nullptr, text->c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}
