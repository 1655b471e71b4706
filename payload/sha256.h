// SHA-256 through Windows' own cryptography (bcrypt.dll, from the system
// folder), for checking the payload against the digests built into the program.
#pragma once
#include <windows.h>

#include <cstddef>

#include "payload/digest_table.h"

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the hash could not be made (no bcrypt.dll, no SHA-256).
  bool Valid() const { return hash_ != nullptr; }
  bool Update(const void* data, std::size_t size);
  // The digest of everything given to Update; the object is spent afterwards.
  bool Finish(Sha256Digest& digest);

 private:
  void* hash_ = nullptr;
};
