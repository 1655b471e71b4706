// Files checked against the digests built into the program: nothing is put
// in place or handed on that is not byte for byte what the build made.
#pragma once
#include <windows.h>

#include <string>

#include "payload/digest_table.h"
#include "payload/extract_payload.h"

// The result of content that does not match its digest.
constexpr HRESULT kDigestMismatch = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Expands `payload` into the new file `target` (which must not exist) while
// hashing what is written, flushes it to the disk and checks its size and
// SHA-256 against `expected`; then gives it `attributes` and the payload's
// time. One pass: the expanded bytes are written once, where they will stay.
// On any failure the new file is deleted again and the failure returned:
// kDigestMismatch for other content, 0x8007006E for data that does not expand,
// the write's error for a full disk.
HRESULT WriteVerifiedFile(const PayloadFile& payload, const std::wstring& target, const PayloadDigest& expected,
                          DWORD attributes);

// Checks the size and SHA-256 of the file at `path` against `expected`.
HRESULT CheckFileDigest(const std::wstring& path, const PayloadDigest& expected);
