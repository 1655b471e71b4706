#include "control/portable/service_wait.h"

#include <gtest/gtest.h>

#include <numeric>

#include "simulated_service.h"

namespace {

using namespace service_state;

struct WaitOutcome {
  int32_t result;
  uint32_t reached;
};

class ServiceWait : public testing::Test {
 protected:
  WaitOutcome Wait(uint32_t state, uint32_t timeoutMs) {
    WaitOutcome outcome{-1, 0xDEADBEEF};
    outcome.result = WaitWhileServiceState(service, clock, state, timeoutMs, outcome.reached);
    return outcome;
  }
  uint64_t TotalSlept() const { return std::accumulate(clock.sleeps.begin(), clock.sleeps.end(), uint64_t{0}); }

  SimulatedClock clock;
  SimulatedService service{clock};
};

TEST(ServicePollInterval, TenthOfTheHintWithinBoundsAndTimeOut) {
  EXPECT_EQ(ServicePollInterval(0, 20000), 500u);
  EXPECT_EQ(ServicePollInterval(4999, 20000), 500u);
  EXPECT_EQ(ServicePollInterval(12000, 20000), 1200u);
  EXPECT_EQ(ServicePollInterval(30000, 20000), 3000u);
  EXPECT_EQ(ServicePollInterval(0xFFFFFFFFu, 20000), 3000u);
  EXPECT_EQ(ServicePollInterval(30000, 1200), 1200u);  // never beyond the time-out
  EXPECT_EQ(ServicePollInterval(0, 300), 300u);
}

TEST_F(ServiceWait, ReturnsAtOnceWhenTheStateIsAnother) {
  service.Follow({{0, Status(kRunning, 0, 5000)}});
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kRunning);
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(service.reads, 1);
}

TEST_F(ServiceWait, TimeOutZeroStopsAtOnce) {
  service.Follow({{0, Status(kStopPending, 1, 0)}, {100, Status(kStopped)}});
  const WaitOutcome outcome = Wait(kStopPending, 0);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kStopPending);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(ServiceWait, EndsWhenTheStateChanges) {
  service.Follow({{0, Status(kStartPending, 1, 10000)}, {2500, Status(kRunning)}});
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kRunning);
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>{1000, 1000, 1000}));
}

TEST_F(ServiceWait, SleepFollowsTheLatestWaitHint) {
  service.Follow({{0, Status(kStopPending, 1, 0)},
                  {500, Status(kStopPending, 2, 20000)},
                  {2500, Status(kStopPending, 3, 90000)},
                  {5500, Status(kStopped)}});
  const WaitOutcome outcome = Wait(kStopPending, 20000);
  EXPECT_EQ(outcome.reached, kStopped);
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>{500, 2000, 3000}));
}

TEST_F(ServiceWait, CheckPointProgressKeepsTheWaitGoingPastTheHint) {
  // Hint 1000 ms, a new check point every 500 ms, running after 6 s.
  service.Follow(ProgressingUntil(kStartPending, 1000, 500, 6000, kRunning));
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kRunning);
  EXPECT_EQ(clock.Elapsed(), 6000u);
}

TEST_F(ServiceWait, NoProgressForLongerThanTheHintEndsTheWait) {
  // The check point stays 7; the wait ends on the first read more than 2000 ms after the start.
  service.Follow({{0, Status(kStartPending, 7, 2000)}, {60000, Status(kRunning)}});
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kStartPending);
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>(5, 500)));
}

TEST_F(ServiceWait, NoProgressIsMeasuredFromTheLastNewCheckPoint) {
  service.Follow({{0, Status(kStopPending, 1, 1000)},
                  {1500, Status(kStopPending, 2, 1000)},  // progress seen at 1500
                  {60000, Status(kStopped)}});
  const WaitOutcome outcome = Wait(kStopPending, 20000);
  EXPECT_EQ(outcome.reached, kStopPending);
  EXPECT_EQ(clock.Elapsed(), 3000u);  // first read more than 1000 ms after 1500
}

TEST_F(ServiceWait, WaitHintZeroEndsAfterOneReadWithoutProgress) {
  service.Follow({{0, Status(kStartPending, 3, 0)}});
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kStartPending);
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>{500}));
}

TEST_F(ServiceWait, TimeOutEndsAServiceThatKeepsProgressing) {
  service.Follow(ProgressingUntil(kStopPending, 30000, 1000, 60000, kStopped));
  const WaitOutcome outcome = Wait(kStopPending, 20000);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reached, kStopPending);
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>(7, 3000)));  // 21 s: the first check at or past 20 s
}

TEST_F(ServiceWait, TimeOutHoldsAcrossTheTickCountWrap) {
  SimulatedClock wrapping(0xFFFFF000u);
  SimulatedService wrapped(wrapping);
  wrapped.Follow(ProgressingUntil(kStopPending, 30000, 1000, 60000, kStopped));
  uint32_t reached = 0;
  EXPECT_EQ(WaitWhileServiceState(wrapped, wrapping, kStopPending, 20000, reached), 0);
  EXPECT_EQ(wrapping.Elapsed(), 21000u);
}

TEST_F(ServiceWait, FirstReadFailureReportsTheErrorAndStateZero) {
  service.Follow({{0, Status(kStartPending, 1, 1000)}});
  service.failingReads[1] = 6;  // ERROR_INVALID_HANDLE
  const WaitOutcome outcome = Wait(kStartPending, 20000);
  EXPECT_EQ(outcome.result, static_cast<int32_t>(0x80070006u));
  EXPECT_EQ(outcome.reached, 0u);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(ServiceWait, ReadFailureMidWaitEndsWithTheErrorAndTheLastStateRead) {
  service.Follow(ProgressingUntil(kStopPending, 10000, 500, 60000, kStopped));
  service.failingReads[3] = 5;  // ERROR_ACCESS_DENIED
  const WaitOutcome outcome = Wait(kStopPending, 20000);
  EXPECT_EQ(outcome.result, static_cast<int32_t>(0x80070005u));
  EXPECT_EQ(outcome.reached, kStopPending);
  EXPECT_EQ(service.reads, 3);
  EXPECT_EQ(clock.sleeps.size(), 2u);
}

}  // namespace
