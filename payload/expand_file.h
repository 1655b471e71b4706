// Expansion of SZDD data with our own streaming expander.
#pragma once
#include <windows.h>

#include <string>

#include "payload/portable/szdd_expander.h"

// ERROR_OPEN_FAILED: a payload file that cannot be opened or does not expand.
constexpr HRESULT kOpenFailed = static_cast<HRESULT>(0x8007006E);

// Writes expanded bytes to an open file and keeps the error of a write that
// failed (a full disk, for one), which the expander itself cannot carry.
class FileSink : public szdd::ByteSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  bool Write(const std::uint8_t* data, std::size_t size) override;
  // S_OK, or the HRESULT of the write that failed.
  HRESULT failure() const { return failure_; }

 private:
  HANDLE file_;
  HRESULT failure_ = S_OK;
};

// Expands the SZDD file `compressed` into `expanded` (created or truncated).
// S_OK on success; 0x8007006E when either file cannot be opened or the data
// does not expand (some output may then have been written).
HRESULT ExpandFile(const std::wstring& compressed, const std::wstring& expanded);

// Expands the SZDD data in memory (a locked resource) into the open file
// `target`. S_OK on success; 0x8007006E when the data does not expand or the
// file cannot be written (some output may then have been written).
HRESULT ExpandIntoFile(const void* data, size_t size, HANDLE target);
