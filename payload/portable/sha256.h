// SHA-256 of the payload, for checking it against the digests built into the
// program. An own implementation: it uses the CPU's SHA instructions where
// present and portable code elsewhere, the choice made once per run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "payload/portable/digest_table.h"

class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given to Update; the object is spent afterwards.
  Sha256Digest Finish();

 private:
  std::array<std::uint32_t, 8> state_;
  // The bytes of an incomplete block, kept until the next Update or Finish.
  std::array<std::uint8_t, 64> tail_{};
  std::size_t tailSize_ = 0;
  std::uint64_t total_ = 0;
};
