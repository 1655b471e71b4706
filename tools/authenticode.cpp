#include "tools/authenticode.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace authenticode {
namespace {

// Real signatures, with a time stamp and nested signatures, take a few tens
// of kilobytes; a larger entry is refused instead of loaded.
constexpr std::uint32_t kMaxCertificate = 16u << 20;
constexpr std::size_t kChunk = 1u << 20;
// SPC_INDIRECT_DATA_OBJID: the content type of an Authenticode SignedData.
constexpr char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";

struct Pkcs7Free {
  void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};
struct SigFree {
  void operator()(X509_SIG* p) const { X509_SIG_free(p); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct SignersFree {
  void operator()(STACK_OF(X509)* p) const { sk_X509_free(p); }
};

// The reason of libcrypto's last error, and its queue emptied.
std::string OpenSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : "unknown error";
}

// One line of text, whatever the name holds: RFC 2253 escaping (so a quote
// or a control character cannot end the quoted field), UTF-8 kept as is,
// the attributes in the certificate's order.
std::string NameText(const X509_NAME* name) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio) return "";
  const unsigned long flags = (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_COMMA_PLUS | XN_FLAG_FN_SN;
  if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) return "";
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
}

// The contents octets of one DER element at `*p` (at most `length` bytes):
// sets `content`/`contentLength` and moves `*p` past the element.
bool DerElement(const unsigned char** p, long length, int expectedTag, const unsigned char** content,
                long* contentLength) {
  const unsigned char* at = *p;
  long size = 0;
  int tag = 0;
  int xclass = 0;
  const int info = ASN1_get_object(&at, &size, &tag, &xclass, length);
  // 0x80: an error; 0x21 would be the indefinite length form, which DER forbids.
  if ((info & 0x80) || info == 0x21 || tag != expectedTag || xclass != V_ASN1_UNIVERSAL) return false;
  *content = at;
  *contentLength = size;
  *p = at + size;
  return true;
}

class Check {
 public:
  Check(const pe::Image& image, const Certificate& entry) : image_(image), entry_(entry) {}

  Signature Run() {
    Verify();
    ERR_clear_error();
    return result_;
  }

 private:
  bool Fail(const std::string& reason) {
    result_.valid = false;
    result_.reason = reason;
    return false;
  }

  bool Verify() {
    if (entry_.revision != kRevision2) return Fail("the certificate entry has revision " + Hex(entry_.revision) + ", not 0x200");
    if (entry_.type != kTypePkcsSignedData)
      return Fail("the certificate entry has type " + Hex(entry_.type) + ", not PKCS#7 SignedData");
    if (entry_.size > kMaxCertificate)
      return Fail("the certificate entry has " + std::to_string(entry_.size) + " bytes, more than a signature can have");
    const std::vector<std::uint8_t> der = image_.Bytes(entry_.offset, entry_.size);
    const unsigned char* p = der.data();
    std::unique_ptr<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    if (!p7) return Fail("the certificate entry is not a PKCS#7 structure (" + OpenSslReason() + ")");
    if (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr) return Fail("the PKCS#7 structure is not SignedData");
    PKCS7_SIGNED* sign = p7->d.sign;
    if (sk_PKCS7_SIGNER_INFO_num(sign->signer_info) != 1)
      return Fail(std::to_string(sk_PKCS7_SIGNER_INFO_num(sign->signer_info)) + " signer infos, not one");

    // The signer, as far as the signature names one.
    std::unique_ptr<STACK_OF(X509), SignersFree> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
    if (!signers || sk_X509_num(signers.get()) != 1)
      return Fail("the signer's certificate is not in the signature (" + OpenSslReason() + ")");
    X509* signer = sk_X509_value(signers.get(), 0);
    result_.signer = NameText(X509_get_subject_name(signer));
    result_.issuer = NameText(X509_get_issuer_name(signer));

    // The signed content: SpcIndirectDataContent ::= SEQUENCE { data
    // SpcAttributeTypeAndOptionalValue, messageDigest DigestInfo }.
    PKCS7* content = sign->contents;
    char oid[64] = "";
    if (content == nullptr || content->type == nullptr ||
        OBJ_obj2txt(oid, sizeof oid, content->type, 1) <= 0 || std::strcmp(oid, kIndirectDataOid) != 0)
      return Fail("the signed content is not Authenticode indirect data");
    const ASN1_TYPE* other = content->d.other;
    if (other == nullptr || other->type != V_ASN1_SEQUENCE || other->value.sequence == nullptr)
      return Fail("the signed content is not a SEQUENCE");
    const unsigned char* whole = ASN1_STRING_get0_data(other->value.sequence);
    const long wholeLength = ASN1_STRING_length(other->value.sequence);
    const unsigned char* fields = nullptr;
    long fieldsLength = 0;
    const unsigned char* at = whole;
    if (!DerElement(&at, wholeLength, V_ASN1_SEQUENCE, &fields, &fieldsLength))
      return Fail("the signed content is malformed");
    at = fields;
    const unsigned char* skipped = nullptr;
    long skippedLength = 0;
    if (!DerElement(&at, fieldsLength, V_ASN1_SEQUENCE, &skipped, &skippedLength))
      return Fail("the signed content has no data field");
    std::unique_ptr<X509_SIG, SigFree> signedDigest(d2i_X509_SIG(nullptr, &at, fields + fieldsLength - at));
    if (!signedDigest) return Fail("the signed content has no message digest (" + OpenSslReason() + ")");
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* expected = nullptr;
    X509_SIG_get0(signedDigest.get(), &algorithm, &expected);
    const ASN1_OBJECT* algorithmOid = nullptr;
    X509_ALGOR_get0(&algorithmOid, nullptr, nullptr, algorithm);
    const int nid = OBJ_obj2nid(algorithmOid);
    const EVP_MD* md = nid != NID_undef ? EVP_get_digestbynid(nid) : nullptr;
    if (md == nullptr) {
      char name[64] = "";
      OBJ_obj2txt(name, sizeof name, algorithmOid, 1);
      return Fail(std::string("the image digest algorithm ") + name + " is unknown");
    }
    result_.digest = OBJ_nid2ln(nid);

    // The signature over the content: the messageDigest attribute against
    // the digest of the content's octets (Authenticode leaves out the
    // SEQUENCE's tag and length), then the signature over the authenticated
    // attributes with the signer's key. No chain: PKCS7_NOVERIFY.
    std::unique_ptr<BIO, BioFree> data(BIO_new_mem_buf(fields, static_cast<int>(fieldsLength)));
    if (!data) return Fail("libcrypto: " + OpenSslReason());
    if (PKCS7_verify(p7.get(), nullptr, nullptr, data.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) != 1)
      return Fail("the signature does not verify: " + OpenSslReason());

    // The file as it is against the digest that was signed.
    std::vector<std::uint8_t> actual;
    if (!ImageDigest(image_, md, actual)) return Fail("the file's " + result_.digest + " digest cannot be computed");
    const std::size_t expectedSize = static_cast<std::size_t>(ASN1_STRING_length(expected));
    if (actual.size() != expectedSize || std::memcmp(actual.data(), ASN1_STRING_get0_data(expected), expectedSize) != 0)
      return Fail("the file's " + result_.digest + " digest differs from the signed one");
    result_.valid = true;
    return true;
  }

  static std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
  }

  const pe::Image& image_;
  const Certificate& entry_;
  Signature result_;
};

}  // namespace

std::pair<std::uint64_t, std::uint32_t> CertificateTable(const pe::Image& image) {
  const auto [offset, size] = image.Directory(pe::kSecurityDirectory);
  if (size == 0) return {0, 0};
  if (!RangeFits(offset, size, image.Raw().Size()))
    throw pe::FormatError("the certificate table (" + std::to_string(size) + " bytes at file offset " +
                          std::to_string(offset) + ") runs past the end of the file (" +
                          std::to_string(image.Raw().Size()) + " bytes)");
  return {offset, size};
}

std::vector<Certificate> ReadCertificates(const pe::Image& image) {
  const auto [table, size] = CertificateTable(image);
  std::vector<Certificate> entries;
  std::uint64_t at = 0;
  while (at < size) {
    if (size - at < 8)
      throw pe::FormatError("the certificate table ends " + std::to_string(size - at) +
                            " bytes into an entry's 8-byte header");
    const std::uint32_t length = image.U32(table + at);
    if (length < 8)
      throw pe::FormatError("a certificate entry has the length " + std::to_string(length) +
                            ", shorter than its header");
    if (length > size - at)
      throw pe::FormatError("a certificate entry of " + std::to_string(length) + " bytes runs past the table's " +
                            std::to_string(size) + " bytes");
    Certificate entry;
    entry.revision = image.U16(table + at + 4);
    entry.type = image.U16(table + at + 6);
    entry.offset = table + at + 8;
    entry.size = length - 8;
    entries.push_back(entry);
    // The next entry starts on an 8-byte boundary.
    at += (std::uint64_t{length} + 7) & ~std::uint64_t{7};
  }
  return entries;
}

bool ImageDigest(const pe::Image& image, const EVP_MD* md, std::vector<std::uint8_t>& digest) {
  ByteImage& bytes = image.Raw();
  const std::uint64_t total = bytes.Size();
  // The regions left out, as [begin, end) within the file, sorted; they may
  // overlap in a damaged image.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> skipped;
  if (const std::uint64_t checkSum = image.CheckSumOffset(); checkSum != 0) skipped.push_back({checkSum, checkSum + 4});
  if (const std::uint64_t entry = image.DirectoryEntryOffset(pe::kSecurityDirectory); entry != 0)
    skipped.push_back({entry, entry + 8});
  if (const auto [table, size] = CertificateTable(image); size != 0) skipped.push_back({table, table + size});
  std::sort(skipped.begin(), skipped.end());

  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return false;
  std::vector<std::uint8_t> buffer(kChunk);
  auto hash = [&](std::uint64_t begin, std::uint64_t end) {
    end = std::min(end, total);
    while (begin < end) {
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, kChunk));
      if (!bytes.ReadAt(begin, buffer.data(), count) || EVP_DigestUpdate(ctx.get(), buffer.data(), count) != 1)
        return false;
      begin += count;
    }
    return true;
  };
  std::uint64_t at = 0;
  for (const auto& [begin, end] : skipped) {
    if (begin > at && !hash(at, begin)) return false;
    at = std::max(at, end);
  }
  if (!hash(at, total)) return false;
  unsigned int size = 0;
  digest.assign(EVP_MAX_MD_SIZE, 0);
  if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &size) != 1) return false;
  digest.resize(size);
  return true;
}

std::vector<Signature> CheckSignatures(const pe::Image& image) {
  std::vector<Certificate> entries;
  try {
    entries = ReadCertificates(image);
  } catch (const pe::FormatError& e) {
    Signature broken;
    broken.reason = std::string("the certificate table is malformed: ") + e.what();
    return {broken};
  }
  std::vector<Signature> signatures;
  for (const Certificate& entry : entries) signatures.push_back(Check(image, entry).Run());
  return signatures;
}

}  // namespace authenticode
