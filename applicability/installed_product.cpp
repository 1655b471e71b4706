#include "applicability/installed_product.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/registry_value.h"
#include "base/win32_raii.h"
#include "applicability/portable/file_fixed_info.h"
#include "applicability/file_handle_image.h"
#include "applicability/portable/storyloom_rule.h"
#include "applicability/portable/version_file_words.h"
#include "applicability/version_resource.h"

namespace {

VersionFileValues& VersionFile() {
  static VersionFileValues values;
  return values;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// The file is closed again before the system opens it for an older program.
FileFixedInfo ReadOwnFixedInfo(const wchar_t* path, FixedFileInfoBytes& bytes) {
  FileHandleImage file;
  return file.Open(path) ? ReadFileFixedInfo(file, bytes) : FileFixedInfo::kNone;
}

bool ReadSystemFixedInfo(const wchar_t* path, VS_FIXEDFILEINFO& info) {
  std::vector<uint8_t> block = ReadVersionResource(path);
  void* root = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block, L"\\", &root, &length) || length < sizeof(VS_FIXEDFILEINFO)) return false;
  info = *static_cast<const VS_FIXEDFILEINFO*>(root);
  return true;
}

}  // namespace

std::wstring GetVersionFilePath() {
  REGSAM access = KEY_READ;
  if (Is64BitProcessor() && IsRunningUnderWow64()) access |= KEY_WOW64_32KEY;
  std::wstring path =
      ReadMachineText(L"SOFTWARE\\Orvane Corporation\\Shared Info\\VersionPath\\Mirevo", L"Version", access);
  if (path.empty()) {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILESX86, FALSE)) path = folder;
    path += L"\\Orvane\\Mirevo\\Version.txt";
  }
  return path;
}

bool ReadInstalledVersion() {
  VersionFileValues& values = VersionFile();
  values = VersionFileValues{};
  std::unique_ptr<FILE, FileCloser> file(_wfopen(GetVersionFilePath().c_str(), L"rt"));
  if (!file) return false;
  std::string content;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) content.append(chunk, n);
  values = ParseVersionFileWords(content);
  return !values.installedVersion.empty() && !values.versionEntry.empty();
}

const std::wstring& InstalledVersion() { return VersionFile().installedVersion; }
const std::wstring& VersionEntry() { return VersionFile().versionEntry; }

bool ReadFixedFileVersion(const wchar_t* path, VS_FIXEDFILEINFO& info) {
  static_assert(sizeof(VS_FIXEDFILEINFO) == kFixedFileInfoSize);
  if (path == nullptr || *path == L'\0') return false;
  FixedFileInfoBytes bytes{};
  switch (ReadOwnFixedInfo(path, bytes)) {
    case FileFixedInfo::kFound:
      std::memcpy(&info, bytes.data(), sizeof info);
      return true;
    case FileFixedInfo::kNone:
      return false;
    case FileFixedInfo::kOlderProgram:
      break;
  }
  return ReadSystemFixedInfo(path, info);
}

bool PassesStoryloomVariant(int resourceId) {
  static const bool modernEdition = [] {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvane Corporation\\Storyloom\\1.0\\App", 0,
                      KEY_READ | KEY_WOW64_32KEY, key.Receive()) != ERROR_SUCCESS) {
      return true;
    }
    const auto value = QueryRegistryValue(key.Get(), L"CurrentVersion");
    return value ? !IsOldStoryloomEdition(true, value->type, value->data) : true;
  }();
  return PassesStoryloomVariantRule(resourceId, modernEdition);
}
