// HRESULT values and the last-error mapping, usable without <windows.h>.
#pragma once
#include <cstdint>

namespace hresult {

constexpr int32_t kOk = 0;
constexpr int32_t kFalse = 1;
constexpr int32_t kAbort = static_cast<int32_t>(0x80004004u);
constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFFu);
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);
constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);
constexpr int32_t kSingleInstance = static_cast<int32_t>(0x80070480u);

// A positive Windows error code c becomes 0x80070000 | (c & 0xFFFF); zero and
// values that are already negative pass unchanged.
constexpr int32_t FromWin32(int32_t code) {
  return code > 0 ? static_cast<int32_t>(0x80070000u | (static_cast<uint32_t>(code) & 0xFFFFu)) : code;
}

}  // namespace hresult
