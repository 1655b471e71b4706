#include "base/messages.h"

#include <windows.h>

#include "base/portable/format_with_code.h"
#include "base/module_state.h"
#include "base/portable/string_block.h"

namespace {

std::wstring LoadMessageIn(uint32_t id, LANGID language) {
  const HINSTANCE module = ModuleInstance();
  const HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (block == nullptr) return std::wstring();
  const HGLOBAL loaded = LoadResource(module, block);
  const auto* units = static_cast<const uint16_t*>(loaded ? LockResource(loaded) : nullptr);
  if (units == nullptr) return std::wstring();
  const size_t unitCount = SizeofResource(module, block) / sizeof(uint16_t);
  const auto span = FindStringInBlock(units, unitCount, id % 16);
  if (!span) return std::wstring();
  return std::wstring(reinterpret_cast<const wchar_t*>(units + span->offset), span->length);
}

}  // namespace

// Language neutral lets the loader pick the user's UI language, with its own fallback.
std::wstring LoadMessage(uint32_t id) { return LoadMessageIn(id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)); }

std::wstring LoadMessageOrEnglish(uint32_t id) {
  std::wstring text = LoadMessage(id);
  if (text.empty()) text = LoadMessageIn(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  return text;
}

std::wstring FormatMessageWithCode(uint32_t id, uint32_t code) { return FormatWithCode(LoadMessage(id), code); }
