#include "base/portable/aside_name.h"

namespace {

std::wstring Marked(const std::wstring& path, const wchar_t* marker, uint32_t processId, uint32_t tickCount) {
  // Both numbers print as signed 32-bit values, as the format has always written them.
  return path + marker + std::to_wstring(static_cast<int32_t>(processId)) + L"-" +
         std::to_wstring(static_cast<int32_t>(tickCount));
}

}  // namespace

std::wstring AsideName(const std::wstring& path, uint32_t processId, uint32_t tickCount) {
  return Marked(path, L".tmp.", processId, tickCount);
}

std::wstring NewFileName(const std::wstring& path, uint32_t processId, uint32_t tickCount) {
  return Marked(path, L".new.", processId, tickCount);
}
