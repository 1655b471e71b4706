#include "base/portable/format_with_code.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool IsFlag(wchar_t c) { return c == L'-' || c == L'+' || c == L' ' || c == L'#' || c == L'0'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Widths and precisions above this are clamped: a catalogue text has no business
// asking for more, and clamping keeps the output bounded.
constexpr int kMaxField = 64;

std::wstring FormatOne(const std::string& directive, wchar_t conversion, uint32_t code) {
  char buffer[160];
  std::string fmt;
  for (char ch : directive) {
    // '#' is undefined for decimal conversions; drop it there.
    if (ch == '#' && (conversion == L'd' || conversion == L'i' || conversion == L'u')) continue;
    fmt += ch;
  }
  fmt += static_cast<char>(conversion);
  int n;
  if (conversion == L'd' || conversion == L'i') {
    n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<int>(static_cast<int32_t>(code)));
  } else {
    n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<unsigned>(code));
  }
  if (n < 0) return std::wstring();
  std::wstring out;
  for (const char* p = buffer; *p != '\0'; ++p) out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return out;
}

}  // namespace

std::wstring FormatWithCode(const std::wstring& format, uint32_t code) {
  std::wstring out;
  bool used = false;
  size_t i = 0;
  while (i < format.size()) {
    const wchar_t c = format[i];
    if (c != L'%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == L'%') {
      out += L'%';
      i += 2;
      continue;
    }
    // Parse %[flags][width][.precision][length]conversion.
    size_t j = i + 1;
    std::string directive = "%";
    while (j < format.size() && IsFlag(format[j])) directive += static_cast<char>(format[j++]);
    int width = 0;
    while (j < format.size() && IsDigit(format[j])) {
      width = width < kMaxField ? width * 10 + (format[j] - L'0') : width;
      ++j;
    }
    if (width > kMaxField) width = kMaxField;
    if (width > 0) directive += std::to_string(width);
    if (j < format.size() && format[j] == L'.') {
      ++j;
      int precision = 0;
      while (j < format.size() && IsDigit(format[j])) {
        precision = precision < kMaxField ? precision * 10 + (format[j] - L'0') : precision;
        ++j;
      }
      if (precision > kMaxField) precision = kMaxField;
      directive += "." + std::to_string(precision);
    }
    while (j < format.size() && (format[j] == L'l' || format[j] == L'h')) ++j;
    const wchar_t conversion = j < format.size() ? format[j] : L'\0';
    const bool numeric = conversion == L'd' || conversion == L'i' || conversion == L'u' ||
                         conversion == L'x' || conversion == L'X' || conversion == L'o';
    if (!numeric || used) {
      // Copy the directive unchanged (up to and including its conversion letter).
      const size_t end = j < format.size() ? j + 1 : j;
      out.append(format, i, end - i);
      i = end;
      continue;
    }
    out += FormatOne(directive, conversion, code);
    used = true;
    i = j + 1;
  }
  return out;
}
