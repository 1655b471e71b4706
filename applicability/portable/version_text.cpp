#include "applicability/portable/version_text.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

int32_t ReadNumber(const std::wstring& text, size_t begin) {
  size_t i = begin;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;  // saturate, keep reading digits
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

VersionParts ParseVersionText(const std::wstring& text) {
  VersionParts parts{};
  size_t rest = 0;  // start of the remaining text
  for (int k = 0; k < 3; ++k) {
    parts[k] = ReadNumber(text, rest);
    const size_t dot = text.find(L'.', rest);
    if (dot != std::wstring::npos) rest = dot + 1;
  }
  parts[3] = ReadNumber(text, rest);
  return parts;
}

int CompareVersions(const std::wstring& a, const std::wstring& b) {
  const VersionParts pa = ParseVersionText(a);
  const VersionParts pb = ParseVersionText(b);
  for (int k = 0; k < 4; ++k) {
    if (pa[k] > pb[k]) return 1;
    if (pa[k] < pb[k]) return -1;
  }
  return 0;
}

std::wstring FormatVersion(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision) {
  wchar_t buffer[64];
  std::swprintf(buffer, 64, L"%d.%d.%d.%05d", int{major}, int{minor}, int{build}, int{revision});
  return buffer;
}

std::wstring FormatFileVersion(uint32_t versionMs, uint32_t versionLs) {
  return FormatVersion(static_cast<uint16_t>(versionMs >> 16), static_cast<uint16_t>(versionMs & 0xFFFF),
                       static_cast<uint16_t>(versionLs >> 16), static_cast<uint16_t>(versionLs & 0xFFFF));
}
