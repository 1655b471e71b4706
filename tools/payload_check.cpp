#include "tools/payload_check.h"

#include <openssl/evp.h>

#include <memory>

namespace {

// Hashes and tallies the expanded bytes as the expander writes them.
class HashingSink : public szdd::ByteSink {
 public:
  HashingSink() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
  }

  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (!ok_ || EVP_DigestUpdate(context_.get(), data, size) != 1) return ok_ = false;
    size_ += size;
    for (std::size_t k = 0; k < size; ++k) {
      if (atLineStart_) {
        ++lines_;
        if (data[k] == '[') ++keys_;
      }
      atLineStart_ = data[k] == '\n';
    }
    return true;
  }

  bool Finish(Expansion& result) {
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_.get(), result.sha256.data(), &length) != 1 ||
        length != result.sha256.size())
      return false;
    result.expandedSize = size_;
    result.lines = lines_;
    result.keys = keys_;
    return true;
  }

  bool Ok() const { return ok_; }

 private:
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
  bool ok_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t lines_ = 0;
  std::uint64_t keys_ = 0;
  bool atLineStart_ = true;
};

}  // namespace

bool ExpandAndHash(szdd::ByteSource& source, Expansion& result) {
  result = Expansion{};
  HashingSink sink;
  if (!sink.Ok()) return false;
  result.status = szdd::Expand(source, sink);
  // The sink only refuses bytes when libcrypto fails.
  if (result.status == szdd::ExpandStatus::kWriteFailed) return false;
  if (result.status != szdd::ExpandStatus::kOk) return true;
  return sink.Finish(result);
}

Verdict Judge(const Expansion& expansion, const PayloadDigest* row, bool haveTable) {
  if (expansion.status != szdd::ExpandStatus::kOk) return Verdict::kExpansionFailed;
  if (!haveTable) return Verdict::kNoDigestTable;
  if (row == nullptr) return Verdict::kNoDigestRow;
  if (row->expandedSize != expansion.expandedSize) return Verdict::kSizeMismatch;
  if (row->sha256 != expansion.sha256) return Verdict::kDigestMismatch;
  return Verdict::kOk;
}

std::string VerdictText(Verdict verdict, const Expansion& expansion, const PayloadDigest* row) {
  switch (verdict) {
    case Verdict::kOk:
      return "ok";
    case Verdict::kExpansionFailed:
      return std::string("FAILED (expansion: ") + szdd::Describe(expansion.status) + ")";
    case Verdict::kNoDigestTable:
      return "UNVERIFIED (no digest table)";
    case Verdict::kNoDigestRow:
      return "MISSING (no digest row)";
    case Verdict::kSizeMismatch:
      return "MISMATCH (size: digest row says " + std::to_string(row ? row->expandedSize : 0) + ")";
    case Verdict::kDigestMismatch:
      return "MISMATCH (digest)";
  }
  return "UNKNOWN";
}

std::string HexDigest(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}
