#include "payload/sha256.h"

#include <bcrypt.h>

#include "app/system_library.h"

namespace {

using OpenProviderFn = decltype(&BCryptOpenAlgorithmProvider);
using CreateHashFn = decltype(&BCryptCreateHash);
using HashDataFn = decltype(&BCryptHashData);
using FinishHashFn = decltype(&BCryptFinishHash);
using DestroyHashFn = decltype(&BCryptDestroyHash);

template <typename Function>
Function Bcrypt(const char* name) {
  return SystemFunction<Function>(L"bcrypt.dll", name);
}

// One provider for the whole run; it is only ever read.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    static const auto open = Bcrypt<OpenProviderFn>("BCryptOpenAlgorithmProvider");
    if (open == nullptr || open(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return BCRYPT_ALG_HANDLE{};
    return opened;
  }();
  return provider;
}

}  // namespace

Sha256::Sha256() {
  static const auto create = Bcrypt<CreateHashFn>("BCryptCreateHash");
  const BCRYPT_ALG_HANDLE provider = Provider();
  BCRYPT_HASH_HANDLE hash = nullptr;
  // Since Windows 7 the hash object's memory may be left to bcrypt.
  if (provider != nullptr && create != nullptr && create(provider, &hash, nullptr, 0, nullptr, 0, 0) >= 0) {
    hash_ = hash;
  }
}

Sha256::~Sha256() {
  static const auto destroy = Bcrypt<DestroyHashFn>("BCryptDestroyHash");
  if (hash_ != nullptr && destroy != nullptr) destroy(hash_);
}

bool Sha256::Update(const void* data, std::size_t size) {
  static const auto hashData = Bcrypt<HashDataFn>("BCryptHashData");
  if (hash_ == nullptr || hashData == nullptr) return false;
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (size > 0) {
    const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    if (hashData(hash_, const_cast<UCHAR*>(bytes), chunk, 0) < 0) return false;
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

bool Sha256::Finish(Sha256Digest& digest) {
  static const auto finish = Bcrypt<FinishHashFn>("BCryptFinishHash");
  return hash_ != nullptr && finish != nullptr &&
         finish(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
}
