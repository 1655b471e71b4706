#include "base/registry_snapshot.h"

#include <algorithm>
#include <cstddef>
#include <map>

#include "base/folded_name.h"
#include "base/portable/hresult.h"
#include "base/win32_raii.h"

namespace {

HRESULT FromStatus(LONG status) { return hresult::FromWin32(static_cast<int32_t>(status)); }

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

size_t Depth(const std::wstring& path) { return static_cast<size_t>(std::count(path.begin(), path.end(), L'\\')); }

// Every value of the open key, in the key's order. The buffers are sized by
// the key's own figures; a value that grew meanwhile is read again.
HRESULT ReadValues(HKEY key, std::vector<SnapshotValue>& values) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD count = 0, longestName = 0, longestData = 0;
    LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                                   &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    values.clear();
    std::wstring name(longestName + 1, L'\0');
    std::vector<uint8_t> data(longestData);
    for (DWORD i = 0;; ++i) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD size = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.empty() ? nullptr : data.data(),
                             &size);
      if (status == ERROR_NO_MORE_ITEMS) return S_OK;
      if (status == ERROR_MORE_DATA) break;  // a value added or grown meanwhile: all again
      if (status != ERROR_SUCCESS) return FromStatus(status);
      values.push_back({name.substr(0, nameLength), type, std::vector<uint8_t>(data.begin(), data.begin() + size)});
    }
  }
  return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
}

// The key as it is: its values when it exists, else that it does not.
HRESULT ReadKey(const std::wstring& path, REGSAM view, SnapshotKey& key) {
  key.view = view;
  key.path = path;
  key.existed = false;
  key.values.clear();
  UniqueRegKey opened;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, opened.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  if (status != ERROR_SUCCESS) return FromStatus(status);
  key.existed = true;
  return ReadValues(opened.Get(), key.values);
}

// The old values back into the key (made again when it was deleted since),
// and every value it did not have deleted.
HRESULT PutBack(const SnapshotKey& old) {
  UniqueRegKey key;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, old.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_QUERY_VALUE | KEY_SET_VALUE | old.view, nullptr, key.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return FromStatus(status);
  std::vector<SnapshotValue> now;
  HRESULT result = ReadValues(key.Get(), now);
  if (FAILED(result)) return result;
  for (const SnapshotValue& value : now) {
    const auto known = std::find_if(old.values.begin(), old.values.end(),
                                    [&](const SnapshotValue& was) { return SameName(was.name, value.name); });
    if (known != old.values.end()) continue;
    status = RegDeleteValueW(key.Get(), value.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) result = FromStatus(status);
  }
  for (const SnapshotValue& value : old.values) {
    const auto found = std::find_if(now.begin(), now.end(),
                                    [&](const SnapshotValue& is) { return SameName(is.name, value.name); });
    if (found != now.end() && found->type == value.type && found->data == value.data) continue;
    status = RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type,
                            value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size()));
    if (status != ERROR_SUCCESS && SUCCEEDED(result)) result = FromStatus(status);
  }
  return result;
}

}  // namespace

HRESULT CaptureRegistryKeys(const std::vector<std::wstring>& paths, REGSAM view, RegistrySnapshot& snapshot) {
  // Each key once, with each missing ancestor once: many keys share their
  // ancestors. An ancestor that exists is not changed by the import and is
  // not kept, unless it is listed itself.
  struct Seen {
    bool exists;
    bool kept;
  };
  std::map<std::wstring, Seen> seen;  // by folded path
  for (const SnapshotKey& key : snapshot.keys) {
    if (key.view == view) seen.emplace(Folded(key.path), Seen{key.existed, true});
  }
  // Whether the key exists; `below` a missing one, it is not read at all.
  const auto exists = [&](const std::wstring& path, bool listed, bool below, HRESULT& result) {
    const auto known = seen.find(Folded(path));
    if (known != seen.end() && (known->second.kept || !listed)) return known->second.exists;
    SnapshotKey key{view, path, false, {}};
    if (!below) result = ReadKey(path, view, key);
    if (FAILED(result)) return false;
    const bool found = key.existed;
    const bool keep = listed || !found;
    if (keep) snapshot.keys.push_back(std::move(key));
    seen[Folded(path)] = Seen{found, keep};
    return found;
  };
  for (const std::wstring& path : paths) {
    // From the top down: below the first missing ancestor, all are missing.
    HRESULT result = S_OK;
    bool below = false;
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
      below = !exists(path.substr(0, slash), false, below, result);
      if (FAILED(result)) return result;
    }
    exists(path, true, below, result);
    if (FAILED(result)) return result;
  }
  return S_OK;
}

HRESULT RestoreRegistrySnapshot(const RegistrySnapshot& snapshot) {
  HRESULT first = S_OK;
  std::vector<const SnapshotKey*> made;
  for (const SnapshotKey& key : snapshot.keys) {
    if (!key.existed) {
      made.push_back(&key);
      continue;
    }
    const HRESULT result = PutBack(key);
    if (FAILED(result) && SUCCEEDED(first)) first = result;
  }
  // The deepest first, so that each is empty of the others when its turn
  // comes. A key is deleted only when it holds no subkey: one the snapshot
  // does not know about stays, and so does every key above it.
  std::stable_sort(made.begin(), made.end(),
                   [](const SnapshotKey* a, const SnapshotKey* b) { return Depth(a->path) > Depth(b->path); });
  for (const SnapshotKey* key : made) {
    const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key->path.c_str(), key->view, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first)) first = FromStatus(status);
  }
  return first;
}
