#include "applicability/portable/storyloom_rule.h"

bool IsOldStoryloomEdition(bool valueFound, uint32_t type, const std::vector<uint8_t>& data) {
  if (!valueFound || (type != kRegSz && type != kRegExpandSz)) return false;
  const size_t size = data.size();
  if (size == 0) return true;
  if (size % 2 != 0) return false;
  const unsigned last = data[size - 2] | (data[size - 1] << 8);
  const unsigned first = data[0] | (data[1] << 8);
  return last == 0 && first < 0x32;
}

bool PassesStoryloomVariantRule(int32_t resourceId, bool modernEdition) {
  if (resourceId >= 499 && resourceId <= 511) return modernEdition;
  if (resourceId >= 512 && resourceId <= 524) return !modernEdition;
  return true;
}
