// make_digest_table: writes the table of SHA-256 digests that updater.exe
// carries beside its payload, from the expanded files that the build packs.
//
//   make_digest_table OUTPUT ID=FILE...
//
// The output is rewritten only when its bytes change, so that an unchanged
// payload does not recompile the resource script.
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "payload/portable/digest_table.h"

namespace {

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool Sha256(const std::vector<std::uint8_t>& data, Sha256Digest& digest) {
  unsigned int length = 0;
  return EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) == 1 &&
         length == digest.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_digest_table OUTPUT ID=FILE...\n");
    return 2;
  }
  std::vector<PayloadDigest> rows;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const size_t equals = argument.find('=');
    char* end = nullptr;
    const unsigned long id = std::strtoul(argument.c_str(), &end, 10);
    if (equals == std::string::npos || end != argument.c_str() + equals || equals == 0 || id > 0xFFFFFFFFul) {
      std::fprintf(stderr, "make_digest_table: not ID=FILE: %s\n", argv[i]);
      return 2;
    }
    const std::string path = argument.substr(equals + 1);
    std::vector<std::uint8_t> data;
    PayloadDigest row;
    row.resourceId = static_cast<std::uint32_t>(id);
    if (!ReadFile(path, data) || data.size() > 0xFFFFFFFFu || !Sha256(data, row.sha256)) {
      std::fprintf(stderr, "make_digest_table: cannot read %s\n", path.c_str());
      return 1;
    }
    row.expandedSize = static_cast<std::uint32_t>(data.size());
    rows.push_back(row);
  }
  std::vector<std::uint8_t> table;
  if (!FormatDigestTable(rows, table)) {
    std::fprintf(stderr, "make_digest_table: an id is given twice\n");
    return 2;
  }
  std::vector<std::uint8_t> existing;
  if (ReadFile(argv[1], existing) && existing == table) return 0;
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "make_digest_table: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
