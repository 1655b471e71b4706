// A copy of the progress probe under a name of the test's choice, so that
// tests can run processes whose names they control. Each instance started
// here holds its window for the time given, then ends with exit code 0.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/win32_raii.h"

class ProbeProgram {
 public:
  // Copies the probe to `folder` (created if missing) as `fileName`.
  ProbeProgram(const std::wstring& folder, const std::wstring& fileName);
  // Ends every process of the copy's name (also those started by others) and deletes the copy.
  ~ProbeProgram();
  ProbeProgram(const ProbeProgram&) = delete;
  ProbeProgram& operator=(const ProbeProgram&) = delete;

  const std::wstring& Path() const { return path_; }
  const std::wstring& Name() const { return name_; }
  bool Copied() const { return copied_; }

  // Starts one more instance; its handle stays here. Null when it failed.
  HANDLE Start(DWORD holdMs = 60000);

 private:
  std::wstring path_;
  std::wstring name_;
  bool copied_ = false;
  std::vector<UniqueHandle> processes_;
};

// The temporary folder, without a trailing backslash.
std::wstring TempFolderPath();

// The processes whose executable name is `name` (exact comparison).
int CountProcessesNamed(const std::wstring& name);

// Waits up to `timeoutMs` for CountProcessesNamed(name) to equal `count`.
bool WaitForProcessCount(const std::wstring& name, int count, DWORD timeoutMs);
