// Expansion of SZDD compressed files (compression mode "A": LZSS over a
// 4096-byte ring buffer). The expander streams from a ByteSource to a ByteSink
// through fixed buffers, so memory use does not depend on the file's size.
//
// Layout of a file:
//   bytes 0..7   signature 53 5A 44 44 88 F0 27 33
//   byte  8      compression mode, 0x41 ('A')
//   byte  9      file-name character left out of the compressed name (ignored)
//   bytes 10..13 expanded length, 32-bit little-endian
//   then LZSS items, eight to a flag byte (lowest bit first): a set bit is one
//   literal byte, a clear bit a two-byte reference to the ring buffer
//   (position = b0 | (b1 & 0xF0) << 4, length = (b1 & 0x0F) + 3). The ring
//   starts filled with spaces and its write position starts at 4080.
//
// Rules for input that does not fit its header:
//   - data after the declared length is reached is ignored (the rest of the
//     last flag group included);
//   - data that ends before the declared length is produced is a failure
//     (kTruncated), as is a reference that would produce bytes past the
//     declared length (kOverrun).
// On any failure some output may already have been written to the sink.
#pragma once

#include <cstddef>
#include <cstdint>

namespace szdd {

inline constexpr std::uint8_t kSignature[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
inline constexpr std::uint8_t kModeA = 0x41;
inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kRingSize = 4096;
inline constexpr std::size_t kRingStart = 4096 - 16;
inline constexpr std::size_t kMinMatch = 3;
inline constexpr std::size_t kMaxMatch = 18;

// Where compressed bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes into `buffer`. Returns the number read,
  // 0 at the end of the data, or a negative value when reading failed.
  virtual std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
};

// Where expanded bytes go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `size` bytes; returns false when they could not be written.
  virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
};

enum class ExpandStatus {
  kOk,
  kReadFailed,       // the source reported an error
  kBadHeader,        // wrong signature or a compression mode other than "A"
  kTruncated,        // the header or the data ends early
  kOverrun,          // a reference goes past the declared length
  kWriteFailed,      // the sink refused bytes
  kOutOfMemory,      // the work buffers could not be allocated
};

// A short English description of a status, for tools and test messages.
const char* Describe(ExpandStatus status);

// Expands the SZDD file read from `source` into `sink`. On success exactly the
// declared number of bytes has been written. `declared_length`, when not null,
// receives the header's expanded length once the header has been read.
ExpandStatus Expand(ByteSource& source, ByteSink& sink,
                    std::uint32_t* declared_length = nullptr);

// Convenience sources and sinks over memory, used by tests and tools.
class MemorySource : public ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace szdd
