// One payload row: where a file goes, which resource carries it, and which
// installed versions it replaces.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FileTime16 {  // year, month, day, hour, minute, second, millisecond (UTC)
  uint16_t year, month, day, hour, minute, second, millisecond;
};

struct FileVersion16 {  // major, minor, build, revision
  uint16_t major, minor, build, revision;
};

struct PatchFileEntry {
  bool on32 = false;
  bool on64 = false;
  int32_t folderCode = 0;
  int32_t resourceId = 0;  // 0: no payload, the destination is removed
  std::wstring fileName;   // bare name in the table; full destination path in the Install list
  FileTime16 fileTime{};
  FileVersion16 minVersion{};
  FileVersion16 maxVersion{};
};

// The rows selected for this PC, in table order.
using InstallList = std::vector<PatchFileEntry>;
