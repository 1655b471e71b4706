// The Authenticode signature of a PE image, checked against the file as it is:
// the certificate table (security data directory) and its WIN_CERTIFICATE
// entries read with bounds checks, the PKCS#7 SignedData parsed with OpenSSL,
// the image hash recomputed and compared with the one in the signed
// SpcIndirectDataContent, and the signature over the signed content verified
// with the signer's public key. Whether the signer's certificate chains to a
// trusted root is not checked here.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "applicability/portable/pe_reader.h"

namespace authenticode {

inline constexpr std::uint16_t kRevision2 = 0x0200;
inline constexpr std::uint16_t kTypePkcsSignedData = 0x0002;

// One WIN_CERTIFICATE of the certificate table.
struct Certificate {
  std::uint16_t revision = 0;
  std::uint16_t type = 0;
  std::uint64_t offset = 0;  // file offset of bCertificate, after the 8-byte header
  std::uint32_t size = 0;    // bytes of bCertificate (dwLength - 8)
};

// (file offset, size) of the certificate table; (0, 0) when there is none.
// FormatError when it does not lie within the file.
std::pair<std::uint64_t, std::uint32_t> CertificateTable(const pe::Image& image);

// The entries of the certificate table, in order (each starts on an 8-byte
// boundary of the table). FormatError when an entry's length is shorter
// than its header or runs past the table.
std::vector<Certificate> ReadCertificates(const pe::Image& image);

// The Authenticode hash of the image with `md`: every byte of the file but
// the optional header's CheckSum field, the certificate table's directory
// entry and the certificate table itself, in file order. Read piece by
// piece. False when the file cannot be read or libcrypto fails.
bool ImageDigest(const pe::Image& image, const EVP_MD* md, std::vector<std::uint8_t>& digest);

// What one signature says and whether it holds for the file.
struct Signature {
  std::string signer;  // subject of the signing certificate (RFC 2253 style, UTF-8); empty when unknown
  std::string issuer;  // its issuer
  std::string digest;  // the image hash algorithm, e.g. "sha256"; empty when unknown
  bool valid = false;
  std::string reason;  // why it is not valid
};

// Every signature of the certificate table; empty when the image is not
// signed. A table that cannot be read gives one invalid signature whose
// reason says why.
std::vector<Signature> CheckSignatures(const pe::Image& image);

}  // namespace authenticode
