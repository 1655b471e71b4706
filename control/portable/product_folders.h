// The folders the product's programs live in, and whether a process's image is
// one of the product's own files rather than a program of the same name that
// anyone may have put anywhere.
#pragma once
#include <string>

#include "control/portable/known_programs.h"

// The Program Files folder and the four folders built on it (each ending in a
// backslash); all empty when the Program Files folder was not found.
struct ShutdownFolders {
  std::wstring programFiles;
  std::wstring sharedComponents;
  std::wstring product;
  std::wstring mediaSharing;
  std::wstring homeNetwork;

  const std::wstring& Of(ProgramFolder folder) const;
};

ShutdownFolders BuildShutdownFolders(bool found, const std::wstring& programFiles);

// Two full paths name the same file as Windows compares names: letters A-Z
// without regard to case. Other letters must match exactly; the paths compared
// here are both spelled by the system (the folder and the image path).
bool SameFilePath(const std::wstring& a, const std::wstring& b);

// True when `imagePath` (a full Win32 path) is a file directly in one of the
// four folders. Empty folders (Program Files not found) hold nothing.
bool IsProductImage(const std::wstring& imagePath, const ShutdownFolders& folders);
