// The update's own version, description and package identity from its version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "base/module_state.h"
#include "base/win32_raii.h"
#include "applicability/own_identity.h"
#include "applicability/version_resource.h"
#include "test_files.h"

namespace {

TEST(OwnIdentity, VersionIsTheTarget) { EXPECT_EQ(GetOwnVersion(), L"2.2.3.04170"); }

TEST(OwnIdentity, DescriptionFollowsTheUserInterfaceLanguage) {
  const std::wstring description = GetOwnDescription();
  EXPECT_FALSE(description.empty());
  // Under an English interface the English description is chosen.
  if (GetUserDefaultUILanguage() == 1033) {
    EXPECT_NE(description.find(L"Mirevo"), std::wstring::npos);
  }
}

TEST(OwnIdentity, FillsThePatchIdentity) {
  std::wstring name, id, version;
  FillPatchIdentity(name, id, version);
  EXPECT_EQ(id, L"EP0000517904");
  EXPECT_EQ(version, L"2.2.3.04170");
  EXPECT_EQ(name, GetOwnDescription());
}

const std::wstring kEnglishDescription = L"Mirevo 2.2.3 Update";

// This program's version resource with another file version (major in the
// first field, the rest zero) and, as long as the English one, another
// English description.
std::vector<uint8_t> OtherVersionBlock(uint16_t major, const std::wstring& description) {
  std::vector<uint8_t> block = ReadMappedVersionResource(GetModuleHandleW(nullptr));
  const uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
  const auto fixed = std::search(block.begin(), block.end(), std::begin(signature), std::end(signature));
  if (fixed == block.end() || block.end() - fixed < 52 || description.size() != kEnglishDescription.size()) return {};
  const uint8_t version[8] = {0, 0, static_cast<uint8_t>(major), static_cast<uint8_t>(major >> 8), 0, 0, 0, 0};
  std::copy(std::begin(version), std::end(version), fixed + 8);
  const auto* from = reinterpret_cast<const uint8_t*>(kEnglishDescription.data());
  const auto text = std::search(block.begin(), block.end(), from, from + 2 * kEnglishDescription.size());
  if (text == block.end()) return {};
  const auto* to = reinterpret_cast<const uint8_t*>(description.data());
  std::copy(to, to + 2 * description.size(), text);
  return block;
}

// A copy of a small program of this build whose only resource is `block`.
bool WriteProgramWithVersion(const std::wstring& path, std::vector<uint8_t> block) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  std::wstring program = own;
  program = program.substr(0, program.find_last_of(L'\\') + 1) + L"progress_probe.exe";
  if (block.empty() || !CopyFileW(program.c_str(), path.c_str(), FALSE)) return false;
  const HANDLE update = BeginUpdateResourceW(path.c_str(), TRUE);
  return update != nullptr &&
         UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         block.data(), static_cast<DWORD>(block.size())) &&
         EndUpdateResourceW(update, FALSE);
}

// The module instance mapped from a file that its user then renames and
// replaces by another program: the identity stays the mapped one's.
TEST(OwnIdentity, ReadFromTheMappedImageNotFromItsFile) {
  const ScopedFolder folder(TempFolder() + L"own-identity-test");
  const std::wstring path = folder / L"updater.exe";
  ASSERT_TRUE(WriteProgramWithVersion(path, OtherVersionBlock(7, L"Mapped image, first")));
  const UniqueModule mapped(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(mapped.Valid());
  ASSERT_TRUE(MoveFileW(path.c_str(), (folder / L"renamed.exe").c_str()));
  ASSERT_TRUE(WriteProgramWithVersion(path, OtherVersionBlock(9, L"Other program\r\nX=12")));

  const HINSTANCE own = ModuleInstance();
  SetModuleInstance(mapped.Get());
  const std::wstring version = GetOwnVersion();
  const std::wstring description = GetOwnDescription();
  SetModuleInstance(own);
  EXPECT_EQ(version, L"7.0.0.00000");
  if (GetUserDefaultUILanguage() == 1033) {
    EXPECT_EQ(description, L"Mapped image, first");
  }
}

}  // namespace
