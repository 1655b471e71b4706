#include "applicability/own_identity.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "app/platform.h"
#include "applicability/applicability_rule.h"
#include "applicability/translation_choice.h"
#include "applicability/version_resource.h"
#include "applicability/version_text.h"

namespace {

std::vector<uint8_t> OwnVersionBlock() { return ReadVersionResource(OwnModulePath().c_str()); }

const wchar_t* QueryText(std::vector<uint8_t>& block, uint16_t language) {
  wchar_t query[64];
  std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileDescription", language, kUnicodeCodePage);
  void* text = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block, query, &text, &length)) return nullptr;
  return static_cast<const wchar_t*>(text);
}

}  // namespace

std::wstring GetOwnVersion() {
  std::vector<uint8_t> block = OwnVersionBlock();
  if (block.empty()) return std::wstring();
  void* root = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block, L"\\", &root, &length) || length < sizeof(VS_FIXEDFILEINFO)) return std::wstring();
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(root);
  return FormatFileVersion(info->dwFileVersionMS, info->dwFileVersionLS);
}

std::wstring GetOwnDescription() {
  std::vector<uint8_t> block = OwnVersionBlock();
  if (block.empty()) return std::wstring();
  std::vector<Translation> table;
  void* entries = nullptr;
  UINT length = 0;
  if (QueryVersionValue(block, L"\\VarFileInfo\\Translation", &entries, &length)) {
    const auto* words = static_cast<const uint16_t*>(entries);
    for (UINT i = 0; i + 1 < length / sizeof(uint16_t); i += 2) table.push_back({words[i], words[i + 1]});
  }
  const uint16_t language =
      ChooseDescriptionLanguage(table, GetUserDefaultUILanguage(), GetSystemDefaultUILanguage());
  const wchar_t* text = QueryText(block, language);
  if (text == nullptr) text = QueryText(block, 0);
  return text ? std::wstring(text) : std::wstring();
}

void FillPatchIdentity(std::wstring& patchName, std::wstring& patchId, std::wstring& version) {
  patchName = GetOwnDescription();
  patchId = applicability::kPatchIdentifier;
  version = GetOwnVersion();
}
