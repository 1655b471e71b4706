// Copies checked against the digests built into the program: nothing is put
// in place or handed on that is not byte for byte what the build made.
#pragma once
#include <windows.h>

#include <string>

#include "payload/digest_table.h"

// The result of content that does not match its digest.
constexpr HRESULT kDigestMismatch = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Copies `source` to the new file `target` (which must not exist), flushes it
// to the disk and checks its size and SHA-256 against `expected`; then gives
// it `attributes` and the source's times. On any failure, a mismatch
// included, the new file is deleted again and the failure returned.
HRESULT WriteVerifiedCopy(const std::wstring& source, const std::wstring& target, const PayloadDigest& expected,
                          DWORD attributes);

// Checks the size and SHA-256 of the file at `path` against `expected`.
HRESULT CheckFileDigest(const std::wstring& path, const PayloadDigest& expected);
