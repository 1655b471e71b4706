#include "records/portable/retired_notice_text.h"

#include "applicability/portable/version_text.h"

std::wstring FormatRetiredLine(std::wstring_view lineFormat, std::wstring_view service) {
  std::wstring out;
  int namesLeft = 2;
  for (size_t i = 0; i < lineFormat.size(); ++i) {
    const wchar_t c = lineFormat[i];
    const wchar_t next = i + 1 < lineFormat.size() ? lineFormat[i + 1] : L'\0';
    if (c == L'%' && next == L'%') {
      out += L'%';
      ++i;
    } else if (c == L'%' && next == L's' && namesLeft > 0) {
      out += service;
      --namesLeft;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::wstring> ComposeRetiredFeatureNotice(std::wstring_view lineFormat,
                                                        const std::wstring& installedVersion, int areaCode,
                                                        bool webMediaEnabled, std::wstring_view internetContentText) {
  std::wstring text;
  if (areaCode != 1) {
    if (CompareVersions(installedVersion, kRetiredThresholdVersion) <= 0) {
      text = FormatRetiredLine(lineFormat, L"Tiwtter") + L"\n";
    }
    text += FormatRetiredLine(lineFormat, L"Facebook") + L"\n" + FormatRetiredLine(lineFormat, L"YouTube");
  }
  if (text.size() <= 1) return std::nullopt;
  if (webMediaEnabled) text += L"\n" + std::wstring(internetContentText);
  return text;
}
