// libFuzzer target for the SZDD expander and packer. Each input is used
// three ways:
//   1. as a whole file for the expander;
//   2. as LZSS items behind a valid header whose length comes from the first
//      two input bytes, so that the fuzzer spends its time in the item
//      decoder rather than on the signature;
//   3. as plain data for the packer, whose output must expand back to it.
// The expander must never produce more than the declared length, and must
// produce exactly that when it reports success.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "payload/portable/szdd_expander.h"
#include "tools/szdd_packer.h"

namespace {

class CountingSink : public szdd::ByteSink {
 public:
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (keep) bytes.insert(bytes.end(), data, data + size);
    total += size;
    return true;
  }
  bool keep = false;
  std::vector<std::uint8_t> bytes;
  std::uint64_t total = 0;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

void ExpandWhole(const std::uint8_t* data, std::size_t size) {
  szdd::MemorySource source(data, size);
  CountingSink sink;
  std::uint32_t declared = 0;
  const szdd::ExpandStatus status = szdd::Expand(source, sink, &declared);
  Check(sink.total <= declared);
  if (status == szdd::ExpandStatus::kOk) Check(sink.total == declared);
}

void ExpandItems(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::uint32_t length = static_cast<std::uint32_t>(data[0] | data[1] << 8) * 3;
  std::vector<std::uint8_t> file(szdd::kSignature, szdd::kSignature + sizeof szdd::kSignature);
  file.push_back(szdd::kModeA);
  file.push_back(0);
  for (int shift = 0; shift < 32; shift += 8) file.push_back(static_cast<std::uint8_t>(length >> shift));
  file.insert(file.end(), data + 2, data + size);
  ExpandWhole(file.data(), file.size());
}

void RoundTrip(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> packed = szdd::Pack(data, size);
  szdd::MemorySource source(packed.data(), packed.size());
  CountingSink sink;
  sink.keep = true;
  Check(szdd::Expand(source, sink) == szdd::ExpandStatus::kOk);
  Check(sink.bytes.size() == size && (size == 0 || std::memcmp(sink.bytes.data(), data, size) == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExpandWhole(data, size);
  ExpandItems(data, size);
  RoundTrip(data, size);
  return 0;
}
