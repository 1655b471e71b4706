#include "base/folded_name.h"

#include <windows.h>

std::wstring Folded(const std::wstring& name) {
  std::wstring folded = name;
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}
