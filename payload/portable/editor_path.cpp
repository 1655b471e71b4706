#include "payload/portable/editor_path.h"

namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr size_t kPlainPathLimit = 260;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

bool IsDriveRoot(const std::wstring& path, size_t at) {
  if (path.size() < at + 3) return false;
  const wchar_t letter = path[at];
  return ((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z')) && path[at + 1] == L':' &&
         path[at + 2] == L'\\';
}

// A component that the plain form's normalisation would change.
bool HasTrimmedComponent(const std::wstring& path) {
  for (size_t end = path.find(L'\\'); ; end = path.find(L'\\', end + 1)) {
    const size_t at = end == std::wstring::npos ? path.size() : end;
    if (at > 0 && (path[at - 1] == L'.' || path[at - 1] == L' ')) return true;
    if (end == std::wstring::npos) return false;
  }
}

}  // namespace

std::wstring PathForEditor(const std::wstring& folder, const std::wstring& name) {
  std::wstring full = folder;
  if (!full.empty() && full.back() != L'\\') full += L'\\';
  full += name;
  std::wstring plain;
  if (StartsWith(full, kLongUncPrefix)) {
    plain = L"\\\\" + full.substr(std::char_traits<wchar_t>::length(kLongUncPrefix));
  } else if (StartsWith(full, kLongPrefix) && IsDriveRoot(full, std::char_traits<wchar_t>::length(kLongPrefix))) {
    plain = full.substr(std::char_traits<wchar_t>::length(kLongPrefix));
  } else {
    return full;  // a volume without a drive letter, or not a final path at all
  }
  if (plain.size() >= kPlainPathLimit || HasTrimmedComponent(plain)) return full;
  return plain;
}
