#include "payload/verified_copy.h"

#include <vector>

#include "app/folder_handles.h"
#include "app/last_error.h"
#include "app/win32_raii.h"
#include "payload/sha256.h"

namespace {

constexpr DWORD kBufferSize = 1 << 20;

// Reads all of `file`, handing each piece to `sink` (which may refuse it),
// while hashing it; the size read and its digest come back.
template <typename Sink>
HRESULT ReadHashed(HANDLE file, Sink sink, std::uint64_t& size, Sha256Digest& digest) {
  Sha256 hash;
  if (!hash.Valid()) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  std::vector<unsigned char> buffer(kBufferSize);
  size = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), kBufferSize, &read, nullptr)) return LastErrorResult();
    if (read == 0) break;
    const HRESULT written = sink(buffer.data(), read);
    if (FAILED(written)) return written;
    if (!hash.Update(buffer.data(), read)) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    size += read;
  }
  return hash.Finish(digest) ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

bool Matches(std::uint64_t size, const Sha256Digest& digest, const PayloadDigest& expected) {
  return size == expected.expandedSize && digest == expected.sha256;
}

HRESULT WriteAll(HANDLE file, const unsigned char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, size, &written, nullptr)) return LastErrorResult();
    if (written == 0) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    data += written;
    size -= written;
  }
  return S_OK;
}

HRESULT CopyChecked(HANDLE from, HANDLE to, const PayloadDigest& expected, DWORD attributes) {
  std::uint64_t size = 0;
  Sha256Digest digest{};
  HRESULT result = ReadHashed(
      from, [to](const unsigned char* data, DWORD length) { return WriteAll(to, data, length); }, size, digest);
  if (FAILED(result)) return result;
  if (!FlushFileBuffers(to)) return LastErrorResult();
  if (!Matches(size, digest, expected)) return kDigestMismatch;
  // The source's times (the build's time of the file) and the installed
  // file's attributes go with the new file.
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandleEx(from, FileBasicInfo, &times, sizeof times)) return LastErrorResult();
  FILE_BASIC_INFO basic = times;
  basic.ChangeTime.QuadPart = 0;  // left to the file system
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  if (!SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic)) return LastErrorResult();
  return S_OK;
}

}  // namespace

HRESULT WriteVerifiedCopy(const std::wstring& source, const std::wstring& target, const PayloadDigest& expected,
                          DWORD attributes) {
  UniqueFileHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!from) return LastErrorResult();
  // Nobody else may open the new file until it is complete and checked.
  UniqueFileHandle to(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!to) return LastErrorResult();
  const HRESULT result = CopyChecked(from.Get(), to.Get(), expected, attributes);
  // The attributes (read-only perhaps) are set last, so a failed copy can always be deleted.
  if (FAILED(result)) MarkForDeletion(to.Get());
  return result;
}

HRESULT CheckFileDigest(const std::wstring& path, const PayloadDigest& expected) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return LastErrorResult();
  std::uint64_t size = 0;
  Sha256Digest digest{};
  const HRESULT result = ReadHashed(file.Get(), [](const unsigned char*, DWORD) { return S_OK; }, size, digest);
  if (FAILED(result)) return result;
  return Matches(size, digest, expected) ? S_OK : kDigestMismatch;
}
