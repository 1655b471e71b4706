// Which of the two variant groups of payload rows fits the installed edition
// of the companion movie-making application.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Registry value types that hold text (REG_SZ, REG_EXPAND_SZ).
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

// The edition's `CurrentVersion` value as read: type and raw bytes (the size
// the registry reported). The old edition is a text value that is empty, or
// that is properly terminated and whose first character is below "2".
// Anything else (missing, another type, unterminated, "2" or higher) is the
// modern edition or none.
bool IsOldStoryloomEdition(bool valueFound, uint32_t type, const std::vector<uint8_t>& data);

// Ids 499..511 belong to the modern edition (or none installed), 512..524 to
// the old edition; every other id passes.
bool PassesStoryloomVariantRule(int32_t resourceId, bool modernEdition);
