#include "tests/faults/fault_objects.h"

#include <cwctype>
#include <map>
#include <utility>

#include "tests/faults/immortal.h"
#include "tests/faults/wrapped_imports.h"

namespace faults {
namespace {

bool IsHex(wchar_t c) { return std::iswxdigit(c) != 0; }

// Masks "<hex>-<hex>" when it ends a name part: the part after ".new." or
// ".tmp." at the end of a component, or before a final ".tmp".
std::wstring MaskComponent(const std::wstring& name) {
  for (size_t dot = name.find(L'.'); dot != std::wstring::npos; dot = name.find(L'.', dot + 1)) {
    size_t end = dot + 1;
    while (end < name.size() && IsHex(name[end])) ++end;
    if (end == dot + 1 || end >= name.size() || name[end] != L'-') continue;
    size_t last = end + 1;
    while (last < name.size() && IsHex(name[last])) ++last;
    if (last == end + 1) continue;
    const std::wstring rest = name.substr(last);
    if (rest.empty() || rest == L".tmp" || rest == L".TMP") {
      return MaskComponent(name.substr(0, dot + 1)).append(L"*").append(rest);
    }
  }
  return name;
}

std::wstring MaskRunParts(const std::wstring& path) {
  std::wstring masked;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find(L'\\', start);
    masked += MaskComponent(path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start));
    if (slash == std::wstring::npos) return masked;
    masked += L'\\';
    start = slash + 1;
  }
}

enum class Kind { kKernel, kService, kKey };

struct Names {
  SRWLOCK lock = SRWLOCK_INIT;
  std::map<std::pair<Kind, UINT_PTR>, std::wstring> byHandle;
};

Names& TheNames() {
  static Immortal<Names> names;
  return names.Get();
}

void Note(Kind kind, const void* handle, const std::wstring& object) {
  Names& names = TheNames();
  AcquireSRWLockExclusive(&names.lock);
  names.byHandle[{kind, reinterpret_cast<UINT_PTR>(handle)}] = object;
  ReleaseSRWLockExclusive(&names.lock);
}

bool Find(Kind kind, const void* handle, std::wstring& object) {
  Names& names = TheNames();
  AcquireSRWLockShared(&names.lock);
  const auto found = names.byHandle.find({kind, reinterpret_cast<UINT_PTR>(handle)});
  const bool known = found != names.byHandle.end();
  if (known) object = found->second;
  ReleaseSRWLockShared(&names.lock);
  return known;
}

const wchar_t* RootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return L"HKCR";
  if (key == HKEY_CURRENT_USER) return L"HKCU";
  if (key == HKEY_LOCAL_MACHINE) return L"HKLM";
  if (key == HKEY_USERS) return L"HKU";
  return nullptr;
}

const wchar_t* ViewName(REGSAM access) {
  if (access & KEY_WOW64_64KEY) return L"(64)";
  if (access & KEY_WOW64_32KEY) return L"(32)";
  return L"";
}

}  // namespace

std::wstring PathObject(const wchar_t* path, size_t length) {
  if (path == nullptr) return std::wstring();
  std::wstring text(path, length);
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    text = L"\\\\" + text.substr(8);
  } else if (text.rfind(L"\\\\?\\", 0) == 0 || text.rfind(L"\\??\\", 0) == 0) {
    text = text.substr(4);
  }
  return MaskRunParts(text);
}

std::wstring PathObject(const wchar_t* path) { return path ? PathObject(path, wcslen(path)) : std::wstring(); }

void NoteHandle(HANDLE handle, const std::wstring& object) { Note(Kind::kKernel, handle, object); }

std::wstring HandleObject(HANDLE handle) {
  std::wstring object;
  if (Find(Kind::kKernel, handle, object)) return object;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
  if (length > 0 && length < path.size()) return PathObject(path.c_str(), length);
  return L"handle";  // not a value: handle numbers change from run to run
}

void NoteService(SC_HANDLE handle, const std::wstring& name) { Note(Kind::kService, handle, name); }

std::wstring ServiceObject(SC_HANDLE handle) {
  std::wstring object;
  return Find(Kind::kService, handle, object) ? object : L"service";
}

std::wstring KeyObject(HKEY parent, const wchar_t* subkey, REGSAM access) {
  std::wstring object;
  if (const wchar_t* root = RootName(parent)) {
    object = std::wstring(root) + ViewName(access);
  } else if (!Find(Kind::kKey, parent, object)) {
    object = L"key";
  }
  if (subkey != nullptr && *subkey != L'\0') {
    std::wstring name(subkey);
    while (!name.empty() && name.back() == L'\\') name.pop_back();
    if (!name.empty()) object += L"\\" + name;
  }
  return object;
}

void NoteKey(HKEY key, HKEY parent, const wchar_t* subkey, REGSAM access) {
  Note(Kind::kKey, key, KeyObject(parent, subkey, access));
}

std::wstring ValueObject(HKEY key, const wchar_t* value) {
  return KeyObject(key, nullptr, 0) + L"|" + (value ? value : L"");
}

std::wstring ProcessObject(DWORD processId) {
  HANDLE process = FAULT_REAL(OpenProcess)(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process != nullptr) {
    wchar_t image[MAX_PATH * 2];
    DWORD size = ARRAYSIZE(image);
    const BOOL named = QueryFullProcessImageNameW(process, 0, image, &size);
    CloseHandle(process);
    if (named) return PathObject(image, size);
  }
  return L"process";  // not its id: ids change from run to run
}

std::wstring ProgramObject(const wchar_t* application, const wchar_t* commandLine) {
  if (application != nullptr && *application != L'\0') return PathObject(application);
  if (commandLine == nullptr) return std::wstring();
  const wchar_t* start = commandLine;
  while (*start == L' ' || *start == L'\t') ++start;
  const wchar_t* end = start;
  if (*start == L'"') {
    ++start;
    end = wcschr(start, L'"');
    if (end == nullptr) end = start + wcslen(start);
  } else {
    while (*end != L'\0' && *end != L' ' && *end != L'\t') ++end;
  }
  return PathObject(start, static_cast<size_t>(end - start));
}

}  // namespace faults
