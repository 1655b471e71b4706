// The calling thread's last Windows error as an HRESULT.
#pragma once
#include <windows.h>

#include "base/portable/hresult.h"

inline HRESULT LastErrorResult() { return hresult::FromWin32(static_cast<int32_t>(GetLastError())); }
