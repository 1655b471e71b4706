// Expands compressed files with the platform's own LZ expansion
// (LZOpenFileW/LZCopy), so that tests can check that what our packer writes
// is what Windows reads. Arguments: pairs of compressed input and output path.
// Prints one line per failure; exits 0 only when every pair expanded.
#include <windows.h>
#include <lzexpand.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  int failures = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    OFSTRUCT sourceInfo{};
    sourceInfo.cBytes = sizeof sourceInfo;
    OFSTRUCT targetInfo{};
    targetInfo.cBytes = sizeof targetInfo;
    const INT source = LZOpenFileW(argv[i], &sourceInfo, OF_READ | OF_SHARE_EXCLUSIVE);
    const INT target = LZOpenFileW(argv[i + 1], &targetInfo, OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE);
    LONG copied = -1;
    if (source >= 0 && target >= 0) copied = LZCopy(source, target);
    if (source >= 0) LZClose(source);
    if (target >= 0) LZClose(target);
    if (copied < 0) {
      std::fwprintf(stderr, L"%ls: LZ expansion failed (%ld)\n", argv[i], copied);
      ++failures;
    }
  }
  return failures == 0 && argc % 2 == 1 ? 0 : 1;
}
