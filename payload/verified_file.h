// Files checked against the digests built into the program: nothing is put
// in place or handed on that is not byte for byte what the build made.
#pragma once
#include <windows.h>

#include <string>

#include "base/win32_raii.h"
#include "payload/portable/digest_table.h"
#include "payload/extract_payload.h"

// The result of content that does not match its digest.
constexpr HRESULT kDigestMismatch = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// A new file written from the payload and checked, held open without sharing
// until it is committed. One that is dropped uncommitted, or whose commit
// fails, is deleted. Writing and committing are two steps so that the commit,
// which waits for the disk, can run while the next file is being written.
class VerifiedFile {
 public:
  VerifiedFile() = default;
  ~VerifiedFile();
  VerifiedFile(const VerifiedFile&) = delete;
  VerifiedFile& operator=(const VerifiedFile&) = delete;

  // Expands `payload` into the new file `target` (which must not exist) while
  // hashing what is written, and checks its size and SHA-256 against
  // `expected`. One pass: the expanded bytes are written once, where they
  // will stay. kDigestMismatch for other content, 0x8007006E for data that
  // does not expand, the write's error for a full disk.
  HRESULT Write(const PayloadFile& payload, const std::wstring& target, const PayloadDigest& expected);
  // Flushes the written file to the disk, gives it `attributes` and the
  // payload's time, and closes it.
  HRESULT Commit(DWORD attributes);

 private:
  UniqueFileHandle file_;
  FILETIME time_{};
};

// Write and Commit in one step.
HRESULT WriteVerifiedFile(const PayloadFile& payload, const std::wstring& target, const PayloadDigest& expected,
                          DWORD attributes);

// Checks the size and SHA-256 of the open `file`, read from where its file
// pointer stands (the start, for a handle just opened), against `expected`.
HRESULT CheckFileDigest(HANDLE file, const PayloadDigest& expected);
