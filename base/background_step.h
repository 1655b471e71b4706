// One step at a time on a second thread, so that the caller can go on with
// the next piece of work meanwhile: the installation writes the next file
// while the previous one waits for the disk.
#pragma once
#include <windows.h>

#include <functional>

#include "base/win32_raii.h"

class BackgroundStep {
 public:
  // Starts the thread; without one, steps run on the caller's thread.
  BackgroundStep();
  // Waits for the step under way and ends the thread.
  ~BackgroundStep();
  BackgroundStep(const BackgroundStep&) = delete;
  BackgroundStep& operator=(const BackgroundStep&) = delete;

  // Starts `step`. The step before it must have been waited for.
  void Start(std::function<HRESULT()> step);
  // Waits for the step under way and returns its result; S_OK when none is.
  HRESULT Wait();

 private:
  static unsigned __stdcall ThreadMain(void* self);

  std::function<HRESULT()> step_;
  HRESULT result_ = S_OK;
  bool underWay_ = false;
  bool stop_ = false;  // read by the thread only after `work_` is set
  UniqueHandle work_;
  UniqueHandle done_;
  UniqueHandle thread_;
};
