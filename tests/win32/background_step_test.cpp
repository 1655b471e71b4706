// The installation's second thread: a step that throws fails with an HRESULT
// instead of ending the process half-way through the files.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "base/background_step.h"

TEST(BackgroundStep, AThrowingStepFailsWithAResultAndTheNextStillRuns) {
  BackgroundStep step;
  step.Start([]() -> HRESULT { throw std::bad_alloc(); });
  EXPECT_EQ(step.Wait(), E_OUTOFMEMORY);
  step.Start([]() -> HRESULT { throw std::runtime_error("anything else"); });
  EXPECT_EQ(step.Wait(), E_UNEXPECTED);
  DWORD ranOn = 0;
  step.Start([&ranOn] {
    ranOn = GetCurrentThreadId();
    return S_FALSE;
  });
  EXPECT_EQ(step.Wait(), S_FALSE);
  EXPECT_NE(ranOn, GetCurrentThreadId());  // still on its own thread
}
