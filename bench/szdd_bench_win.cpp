// Timed under Wine by szdd_bench.py: expands every pair of a list file with
//   lz32   the platform's LZ expansion (LZOpenFileW/LZCopy)
//   ours   the updater's own expander, file to file (ExpandFile)
//   copy   a read-copy-write of the compressed bytes: the floor of any expander
//   memory our expander from memory to a sink that drops the bytes (the files
//          are read before the clock starts): its speed without file I/O
// or hashes every IN file, read before the clock starts, with
//   hash-bcrypt  SHA-256 through the system's bcrypt.dll
//   hash-ours    the updater's own SHA-256 (the path this CPU allows)
//   hash-scalar  its portable compression function alone, over each file's
//                whole blocks (no digest: at most two blocks a file left out)
// Usage: szdd_bench_win MODE LIST, LIST holding "IN|OUT" lines (UTF-8).
// Prints "seconds=<s> bytes=<expanded or hashed bytes> start=<working set at
// start> peak=<peak working set>" (bytes), and for hash-bcrypt and hash-ours
// "digest=<hex>", the exclusive or of every file's digest;
// exit code 0 only when every pair went through.
#include <windows.h>
#include <bcrypt.h>
#include <lzexpand.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "base/win32_raii.h"
#include "payload/expand_file.h"
#include "payload/portable/sha256.h"
#include "payload/portable/sha256_blocks.h"
#include "payload/portable/szdd_expander.h"

namespace {

std::wstring Widen(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

bool ExpandLz32(const std::wstring& in, const std::wstring& out) {
  OFSTRUCT sourceInfo{};
  OFSTRUCT targetInfo{};
  const INT source = LZOpenFileW(const_cast<wchar_t*>(in.c_str()), &sourceInfo, OF_READ);
  const INT target = LZOpenFileW(const_cast<wchar_t*>(out.c_str()), &targetInfo, OF_CREATE | OF_WRITE);
  LONG copied = -1;
  if (source >= 0 && target >= 0) copied = LZCopy(source, target);
  if (source >= 0) LZClose(source);
  if (target >= 0) LZClose(target);
  return copied >= 0;
}

bool Copy(const std::wstring& in, const std::wstring& out) {
  UniqueFileHandle source(CreateFileW(in.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueFileHandle target(CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!source || !target) return false;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!WriteFile(target.Get(), buffer.data(), read, &written, nullptr) || written != read) return false;
  }
}

// A sink that only counts: expansion without any file I/O.
class CountingSink : public szdd::ByteSink {
 public:
  bool Write(const std::uint8_t*, std::size_t size) override {
    total += size;
    return true;
  }
  unsigned long long total = 0;
};

std::vector<std::uint8_t> ReadWhole(const std::wstring& path) {
  std::vector<std::uint8_t> data;
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return data;
  std::vector<std::uint8_t> buffer(1 << 20);
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
    data.insert(data.end(), buffer.begin(), buffer.begin() + read);
  }
  return data;
}

bool HashBcrypt(const std::vector<std::uint8_t>& data, Sha256Digest& digest) {
  static BCRYPT_ALG_HANDLE provider = nullptr;
  if (provider == nullptr && BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) < 0) return false;
  const bool ok =
      BCryptHashData(hash, const_cast<UCHAR*>(data.data()), static_cast<ULONG>(data.size()), 0) >= 0 &&
      BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
  BCryptDestroyHash(hash);
  return ok;
}

bool HashOurs(const std::vector<std::uint8_t>& data, Sha256Digest& digest) {
  Sha256 hash;
  hash.Update(data.data(), data.size());
  digest = hash.Finish();
  return true;
}

void CompressScalarOnly(const std::vector<std::uint8_t>& data) {
  sha256_detail::State state = sha256_detail::kInitialState;
  sha256_detail::CompressScalar(state, data.data(), data.size() / sha256_detail::kBlockSize);
  // Kept, so that the compression is not optimised away.
  static volatile std::uint32_t sink;
  sink = state[0];
}

unsigned long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: szdd_bench_win lz32|ours|copy|memory|hash-bcrypt|hash-ours|hash-scalar LIST\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  std::ifstream list(argv[2]);
  for (std::string line; std::getline(list, line);) {
    const size_t bar = line.find('|');
    if (bar != std::string::npos) pairs.emplace_back(Widen(line.substr(0, bar)), Widen(line.substr(bar + 1)));
  }
  if (pairs.empty()) {
    std::fwprintf(stderr, L"no pairs in the list\n");
    return 2;
  }

  // The working set before any file is touched: Wine's own share, the same
  // for every mode.
  PROCESS_MEMORY_COUNTERS before{};
  before.cb = sizeof before;
  GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);

  // "memory" and the hashes: every file read first, then worked on untimed by I/O.
  const bool hashing = mode.rfind(L"hash-", 0) == 0;
  const bool inMemory = mode == L"memory" || hashing;
  std::vector<std::vector<std::uint8_t>> inputs;
  if (inMemory) {
    for (const auto& pair : pairs) inputs.push_back(ReadWhole(pair.first));
  }
  CountingSink counted;
  Sha256Digest combined{};

  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  int failures = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    const auto& [in, out] = pairs[i];
    bool ok = false;
    if (mode == L"lz32") ok = ExpandLz32(in, out);
    else if (mode == L"ours") ok = SUCCEEDED(ExpandFile(in, out));
    else if (mode == L"copy") ok = Copy(in, out);
    else if (mode == L"memory") {
      szdd::MemorySource source(inputs[i].data(), inputs[i].size());
      ok = szdd::Expand(source, counted) == szdd::ExpandStatus::kOk;
    } else if (mode == L"hash-scalar") {
      CompressScalarOnly(inputs[i]);
      ok = true;
    } else if (mode == L"hash-bcrypt" || mode == L"hash-ours") {
      Sha256Digest digest{};
      ok = mode == L"hash-bcrypt" ? HashBcrypt(inputs[i], digest) : HashOurs(inputs[i], digest);
      for (size_t b = 0; b < digest.size(); ++b) combined[b] ^= digest[b];
    }
    if (!ok) {
      std::fwprintf(stderr, L"%ls: %ls failed\n", in.c_str(), mode.c_str());
      ++failures;
    }
  }
  QueryPerformanceCounter(&end);

  unsigned long long bytes = counted.total;
  if (hashing) {
    for (const auto& data : inputs) bytes += data.size();
  } else if (!inMemory) {
    for (const auto& pair : pairs) bytes += FileSize(pair.second);
  }
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("seconds=%.6f bytes=%llu start=%lu peak=%lu\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart), bytes,
              static_cast<unsigned long>(before.WorkingSetSize),
              static_cast<unsigned long>(counters.PeakWorkingSetSize));
  if (hashing && mode != L"hash-scalar") {
    std::printf("digest=");
    for (const std::uint8_t byte : combined) std::printf("%02x", byte);
    std::printf("\n");
  }
  return failures == 0 ? 0 : 1;
}
