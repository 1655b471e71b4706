#include "applicability/version_resource.h"

#include "base/system_library.h"

namespace {

struct VersionApi {
  decltype(&GetFileVersionInfoSizeW) size;
  decltype(&GetFileVersionInfoW) read;
  decltype(&VerQueryValueW) query;
};

const VersionApi& Version() {
  static const VersionApi api = {
      SystemFunction<decltype(&GetFileVersionInfoSizeW)>(L"version.dll", "GetFileVersionInfoSizeW"),
      SystemFunction<decltype(&GetFileVersionInfoW)>(L"version.dll", "GetFileVersionInfoW"),
      SystemFunction<decltype(&VerQueryValueW)>(L"version.dll", "VerQueryValueW")};
  return api;
}

}  // namespace

std::vector<uint8_t> ReadVersionResource(const wchar_t* path) {
  const VersionApi& api = Version();
  if (api.size == nullptr || api.read == nullptr || path == nullptr || *path == L'\0') return {};
  DWORD ignored = 0;
  const DWORD size = api.size(path, &ignored);
  if (size == 0) return {};
  std::vector<uint8_t> block(size);
  if (!api.read(path, 0, size, block.data())) block.clear();
  return block;
}

bool QueryVersionValue(std::vector<uint8_t>& block, const wchar_t* subBlock, void** value, UINT* length) {
  const VersionApi& api = Version();
  *value = nullptr;
  *length = 0;
  return !block.empty() && api.query != nullptr && api.query(block.data(), subBlock, value, length) && *value != nullptr;
}

std::vector<uint8_t> ReadMappedVersionResource(HMODULE module) {
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  if (found == nullptr) return {};
  const HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (bytes == nullptr || size == 0) return {};
  // Copied: the image's resource section is read-only.
  return std::vector<uint8_t>(bytes, bytes + size);
}
