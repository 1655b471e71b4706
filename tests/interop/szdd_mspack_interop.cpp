// Expands the packer's output with libmspack's SZDD decompressor and compares
// it with the original, over the sample shapes of the unit tests. Also checks
// that libmspack reads the header as ours: normal format, declared length, no
// left-out name character. Exit code 0 when every sample agrees, 1 otherwise.
#include <mspack.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/szdd_test_util.h"
#include "tools/szdd_packer.h"

namespace {

using szdd_test::Bytes;
using szdd_test::Repeat;

struct Sample {
  std::string name;
  Bytes data;
};

std::vector<Sample> Samples() {
  std::vector<Sample> s;
  for (std::size_t size : {0, 1, 2, 15, 16, 17, 18, 4095, 4096, 4097, 70000}) {
    s.push_back({"text_" + std::to_string(size), szdd_test::TextLike(size, 21)});
    s.push_back({"spaces_" + std::to_string(size), Bytes(size, ' ')});
  }
  s.push_back({"random_100000", szdd_test::RandomBytes(100000, 22)});
  s.push_back({"zeros_100000", Bytes(100000, 0)});
  Bytes lead(50, ' ');
  const Bytes text = szdd_test::TextLike(5000, 23);
  lead.insert(lead.end(), text.begin(), text.end());
  s.push_back({"spaces_then_text", lead});
  s.push_back({"space_text_mix", Repeat({' ', ' ', 'a', ' ', ' ', ' ', 'b'}, 6000)});
  s.push_back({"repeat_at_4096", Repeat(szdd_test::RandomBytes(4096, 24), 4096 * 3)});
  s.push_back({"program_like", szdd_test::ProgramLike(1500000, 25)});
  return s;
}

}  // namespace

int main() {
  msszdd_decompressor* decompressor = mspack_create_szdd_decompressor(nullptr);
  if (decompressor == nullptr) {
    std::printf("FAIL: libmspack's SZDD decompressor could not be created\n");
    return 1;
  }
  szdd_test::TempDir dir;
  const std::string packed_path = dir.Path("sample.sz");
  const std::string out_path = dir.Path("sample.out");
  int failures = 0;
  for (const Sample& sample : Samples()) {
    const Bytes packed = szdd::Pack(sample.data.data(), sample.data.size());
    if (!szdd_test::WriteFile(packed_path, packed)) {
      std::printf("FAIL %s: cannot write %s\n", sample.name.c_str(), packed_path.c_str());
      ++failures;
      continue;
    }
    msszddd_header* header = decompressor->open(decompressor, const_cast<char*>(packed_path.c_str()));
    if (header == nullptr) {
      std::printf("FAIL %s: libmspack rejects the file (error %d)\n", sample.name.c_str(),
                  decompressor->last_error(decompressor));
      ++failures;
      continue;
    }
    const bool header_ok = header->format == MSSZDD_FMT_NORMAL &&
                           header->length == static_cast<off_t>(sample.data.size()) &&
                           header->missing_char == '\0';
    const int err = decompressor->extract(decompressor, header, const_cast<char*>(out_path.c_str()));
    decompressor->close(decompressor, header);
    Bytes out;
    const bool same = err == MSPACK_ERR_OK && szdd_test::ReadFile(out_path, out) && out == sample.data;
    if (!header_ok || !same) {
      std::printf("FAIL %s: header %s, extract error %d, output %s\n", sample.name.c_str(),
                  header_ok ? "ok" : "wrong", err, same ? "same" : "different");
      ++failures;
    } else {
      std::printf("ok   %s (%zu -> %zu bytes)\n", sample.name.c_str(), sample.data.size(), packed.size());
    }
  }
  mspack_destroy_szdd_decompressor(decompressor);
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
