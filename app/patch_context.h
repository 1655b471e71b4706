// The texts that the prepare phase fills and the version records write.
#pragma once
#include <string>

struct PatchContext {
  std::wstring patchId;             // identifier of this update package
  std::wstring productDescription;  // FileDescription of this program, in the user's language
  std::wstring updateVersion;       // this program's file version, "%d.%d.%d.%05d"
};
