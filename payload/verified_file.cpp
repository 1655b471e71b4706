#include "payload/verified_file.h"

#include <vector>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/win32_raii.h"
#include "payload/expand_file.h"
#include "payload/portable/sha256.h"

namespace {

constexpr DWORD kBufferSize = 1 << 20;

bool Matches(std::uint64_t size, const Sha256Digest& digest, const PayloadDigest& expected) {
  return size == expected.expandedSize && digest == expected.sha256;
}

// Hands the expander's output on and hashes exactly what was handed on.
class HashingSink : public szdd::ByteSink {
 public:
  explicit HashingSink(szdd::ByteSink& out) : out_(out) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (!out_.Write(data, size)) return false;
    hash_.Update(data, size);
    size_ += size;
    return true;
  }
  std::uint64_t size() const { return size_; }
  Sha256Digest Finish() { return hash_.Finish(); }

 private:
  szdd::ByteSink& out_;
  Sha256 hash_;
  std::uint64_t size_ = 0;
};

}  // namespace

VerifiedFile::~VerifiedFile() {
  // The attributes (read-only perhaps) are set last, so an uncommitted file can always be deleted.
  if (file_) MarkForDeletion(file_.Get());
}

HRESULT VerifiedFile::Write(const PayloadFile& payload, const std::wstring& target, const PayloadDigest& expected) {
  // Nobody else may open the new file until it is complete and checked.
  file_.Reset(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) return LastErrorResult();
  time_ = payload.time;
  szdd::MemorySource in(static_cast<const std::uint8_t*>(payload.data), payload.size);
  FileSink file(file_.Get());
  HashingSink out(file);
  if (szdd::Expand(in, out) != szdd::ExpandStatus::kOk) return FAILED(file.failure()) ? file.failure() : kOpenFailed;
  return Matches(out.size(), out.Finish(), expected) ? S_OK : kDigestMismatch;
}

HRESULT VerifiedFile::Commit(DWORD attributes) {
  if (!file_) return E_UNEXPECTED;
  // On the disk before it replaces anything: a power cut must not leave an
  // installed file that was renamed in but never written.
  if (!FlushFileBuffers(file_.Get())) return LastErrorResult();
  // The build's time of the file and the installed file's attributes; a zero
  // time leaves the time of the writing.
  FILE_BASIC_INFO basic{};
  basic.CreationTime.LowPart = time_.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(time_.dwHighDateTime);
  basic.LastAccessTime = basic.CreationTime;
  basic.LastWriteTime = basic.CreationTime;
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  if (!SetFileInformationByHandle(file_.Get(), FileBasicInfo, &basic, sizeof basic)) return LastErrorResult();
  file_.Reset();
  return S_OK;
}

HRESULT WriteVerifiedFile(const PayloadFile& payload, const std::wstring& target, const PayloadDigest& expected,
                          DWORD attributes) {
  VerifiedFile file;
  const HRESULT written = file.Write(payload, target, expected);
  return FAILED(written) ? written : file.Commit(attributes);
}

HRESULT CheckFileDigest(HANDLE file, const PayloadDigest& expected) {
  Sha256 hash;
  std::vector<unsigned char> buffer(kBufferSize);
  std::uint64_t size = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), kBufferSize, &read, nullptr)) return LastErrorResult();
    if (read == 0) break;
    hash.Update(buffer.data(), read);
    size += read;
  }
  return Matches(size, hash.Finish(), expected) ? S_OK : kDigestMismatch;
}
