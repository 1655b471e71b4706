// Access to the message catalogue in the user's language.
#pragma once
#include <cstdint>
#include <string>

// The message in the language the resource loader selects for the user;
// empty when the identifier has no non-empty text.
std::wstring LoadMessage(uint32_t id);

// LoadMessage, or the English text where the user's language has none.
std::wstring LoadMessageOrEnglish(uint32_t id);

// The message used as a printf-style format with `code` as its one argument.
std::wstring FormatMessageWithCode(uint32_t id, uint32_t code);
