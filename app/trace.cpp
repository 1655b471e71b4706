#include "app/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <string>

#include "app/platform.h"
#include "control/process_routing.h"

namespace {

const std::wstring& Prefix() {
  static const std::wstring prefix = ExecutableNameOf(OwnModulePath()) + L": ";
  return prefix;
}

}  // namespace

void Trace(const wchar_t* format, ...) {
  wchar_t text[1024];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vswprintf(text, sizeof text / sizeof text[0], format, arguments);
  va_end(arguments);
  // A line too long for the buffer is cut, never dropped.
  if (length < 0) text[sizeof text / sizeof text[0] - 1] = L'\0';
  // Sent as ANSI text: that is what OutputDebugStringW itself hands the
  // debug-output buffer that viewers read, and Wine shows only this form.
  const std::wstring line = Prefix() + text + L"\n";
  const int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, ansi.data(), size, nullptr, nullptr);
  OutputDebugStringA(ansi.c_str());
}
