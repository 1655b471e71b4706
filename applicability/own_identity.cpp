#include "applicability/own_identity.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/module_state.h"
#include "applicability/portable/applicability_rule.h"
#include "applicability/portable/translation_choice.h"
#include "applicability/portable/version_info.h"
#include "applicability/version_resource.h"
#include "applicability/portable/version_text.h"

namespace {

// From the image the process runs, never from the program's file: its user
// can rename that file while it runs and put another program in its place.
std::vector<uint8_t> OwnVersionBlock() {
  const HINSTANCE module = ModuleInstance() != nullptr ? ModuleInstance() : GetModuleHandleW(nullptr);
  return ReadMappedVersionResource(module);
}

uint32_t Read32(const FixedFileInfoBytes& info, size_t at) {
  return info[at] | (info[at + 1] << 8) | (info[at + 2] << 16) | (uint32_t{info[at + 3]} << 24);
}

bool FindDescription(const std::vector<uint8_t>& block, uint16_t language, std::u16string& text) {
  char table[16];
  std::snprintf(table, sizeof table, "%04x%04x", language, kUnicodeCodePage);
  return FindVersionText(block, table, "FileDescription", text);
}

}  // namespace

std::wstring GetOwnVersion() {
  FixedFileInfoBytes info{};
  if (!ReadFixedFileInfo(OwnVersionBlock(), info)) return std::wstring();
  // dwFileVersionMS and dwFileVersionLS follow the signature and the structure's version.
  return FormatFileVersion(Read32(info, 8), Read32(info, 12));
}

std::wstring GetOwnDescription() {
  const std::vector<uint8_t> block = OwnVersionBlock();
  if (block.empty()) return std::wstring();
  VersionInfo parsed;
  std::string error;
  ParseVersionInfo(block, parsed, error);  // a damaged table leaves no translations: English
  const uint16_t language =
      ChooseDescriptionLanguage(parsed.translations, GetUserDefaultUILanguage(), GetSystemDefaultUILanguage());
  std::u16string text;
  if (!FindDescription(block, language, text)) FindDescription(block, 0, text);
  return std::wstring(text.begin(), text.end());
}

void FillPatchIdentity(std::wstring& patchName, std::wstring& patchId, std::wstring& version) {
  patchName = GetOwnDescription();
  patchId = applicability::kPatchIdentifier;
  version = GetOwnVersion();
}
