#include "payload/aside_name.h"

std::wstring AsideName(const std::wstring& path, uint32_t processId, uint32_t tickCount) {
  // Both numbers print as signed 32-bit values, as the format has always written them.
  return path + L".tmp." + std::to_wstring(static_cast<int32_t>(processId)) + L"-" +
         std::to_wstring(static_cast<int32_t>(tickCount));
}
