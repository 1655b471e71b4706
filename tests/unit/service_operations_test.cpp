#include "control/portable/service_operations.h"

#include <gtest/gtest.h>

#include "simulated_service.h"

namespace {

using namespace service_state;

constexpr int32_t kOk = 0;
constexpr int32_t kFalse = 1;

int32_t Hr(uint32_t value) { return static_cast<int32_t>(value); }

class ServiceOperation : public testing::Test {
 protected:
  // A service found in `status` that reacts to a stop as a well-behaved service does.
  void Found(ServiceStatus status) {
    service.Follow({{0, status}});
    service.afterStop = {{0, Status(kStopPending, 1, 5000)}, {1500, Status(kStopped)}};
    service.afterStart = {{0, Status(kStartPending, 1, 5000)}, {1500, Status(kRunning)}};
  }
  int32_t Stop() { return StopServiceAndWait(service, clock, L"QVLDs"); }
  int32_t Start() { return StartServiceAndWait(service, clock, L"QVLDs"); }

  SimulatedClock clock;
  SimulatedService service{clock};
};

// Query

TEST_F(ServiceOperation, QueryReportsTheStateWithQueryRights) {
  Found(Status(kRunning));
  EXPECT_EQ(QueryServiceState(service, L"QVLDms"), kRunning);
  EXPECT_EQ(service.openedName, L"QVLDms");
  EXPECT_EQ(service.managerRights, std::vector<uint32_t>{0x0001u});  // SC_MANAGER_CONNECT
  EXPECT_EQ(service.serviceRights, std::vector<uint32_t>{0x0004u});  // SERVICE_QUERY_STATUS
  Found(Status(kPaused));
  EXPECT_EQ(QueryServiceState(service, L"QVLDms"), kPaused);
}

TEST_F(ServiceOperation, QueryCountsWhatCannotBeReadAsStopped) {
  Found(Status(kRunning));
  service.installed = false;
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
  service.installed = true;
  service.managerError = 5;
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
  service.managerError = 0;
  service.openError = 5;
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
  service.openError = 0;
  service.failingReads[service.reads + 1] = 6;
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kRunning);  // the next read works again
}

// What must be started again after the update depends on telling a service
// that is stopped (or not installed) from one whose state could not be read.
TEST_F(ServiceOperation, ReadTellsAStoppedServiceFromOneThatCannotBeRead) {
  uint32_t state = 0;
  uint32_t error = 0;
  Found(Status(kRunning));
  service.installed = false;
  EXPECT_TRUE(ReadServiceState(service, L"QVLDs", state, error));
  EXPECT_EQ(state, kStopped);
  service.installed = true;
  service.managerError = 5;
  EXPECT_FALSE(ReadServiceState(service, L"QVLDs", state, error));
  EXPECT_EQ(error, 5u);
  service.managerError = 0;
  service.openError = 5;
  EXPECT_FALSE(ReadServiceState(service, L"QVLDs", state, error));
  service.openError = 0;
  service.failingReads[service.reads + 1] = 6;
  EXPECT_FALSE(ReadServiceState(service, L"QVLDs", state, error));
  EXPECT_EQ(error, 6u);
  EXPECT_TRUE(ReadServiceState(service, L"QVLDs", state, error));
  EXPECT_EQ(state, kRunning);
}

// Opening, for both operations

TEST_F(ServiceOperation, NotInstalledIsNothingToDo) {
  Found(Status(kRunning));
  service.installed = false;
  EXPECT_EQ(Stop(), kFalse);
  EXPECT_EQ(Start(), kFalse);
  EXPECT_EQ(service.reads, 0);
  EXPECT_EQ(service.stopControls + service.startRequests, 0);
}

TEST_F(ServiceOperation, OpenFailuresAreReportedAsHresults) {
  Found(Status(kRunning));
  service.managerError = 5;
  EXPECT_EQ(Stop(), Hr(0x80070005u));
  EXPECT_EQ(Start(), Hr(0x80070005u));
  EXPECT_EQ(service.serviceRights.size(), 0u);  // the service is not tried without the manager
  service.managerError = 0;
  service.openError = 123;  // ERROR_INVALID_NAME
  EXPECT_EQ(Stop(), Hr(0x8007007Bu));
  EXPECT_EQ(Start(), Hr(0x8007007Bu));
  EXPECT_EQ(service.reads, 0);
}

TEST_F(ServiceOperation, StopAndStartAskForTheirRights) {
  Found(Status(kStopped));
  Stop();
  Start();
  EXPECT_EQ(service.managerRights, (std::vector<uint32_t>{0xF003Fu, 0xF003Fu}));  // SC_MANAGER_ALL_ACCESS
  // SERVICE_STOP | SERVICE_QUERY_STATUS, then SERVICE_START | SERVICE_QUERY_STATUS
  EXPECT_EQ(service.serviceRights, (std::vector<uint32_t>{0x24u, 0x14u}));
}

TEST_F(ServiceOperation, FirstStatusReadFailureSendsNothing) {
  Found(Status(kRunning));
  service.failingReads[1] = 6;
  EXPECT_EQ(Stop(), Hr(0x80070006u));
  service.failingReads[2] = 6;
  EXPECT_EQ(Start(), Hr(0x80070006u));
  EXPECT_EQ(service.stopControls + service.startRequests, 0);
}

// Stop, by the state found

TEST_F(ServiceOperation, StopOfAStoppedServiceSendsNothing) {
  Found(Status(kStopped));
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 0);
  EXPECT_EQ(service.reads, 1);
}

TEST_F(ServiceOperation, StopOfARunningServiceWaitsForTheStop) {
  Found(Status(kRunning));
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 1);
  EXPECT_EQ(clock.Elapsed(), 1500u);
  // Found, read again after the control, then the wait's first read and one per 500 ms.
  EXPECT_EQ(service.reads, 6);
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
}

TEST_F(ServiceOperation, StopOfAPausedServiceStopsIt) {
  Found(Status(kPaused));
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 1);
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopped);
}

TEST_F(ServiceOperation, StopOfAnUnknownStateSendsTheStop) {
  for (uint32_t state : {0u, 8u, 0xFFFFFFFFu}) {
    Found(Status(state));
    EXPECT_EQ(Stop(), kOk) << state;
  }
  EXPECT_EQ(service.stopControls, 3);
}

TEST_F(ServiceOperation, StopWaitsOutAStartThenStops) {
  for (uint32_t pending : {kStartPending, kContinuePending}) {
    Found(Status(pending, 1, 4000));
    service.Follow({{0, Status(pending, 1, 4000)}, {1000, Status(kRunning)}});
    EXPECT_EQ(Stop(), kOk) << pending;
  }
  EXPECT_EQ(service.stopControls, 2);
}

TEST_F(ServiceOperation, StopLeavesAStartThatDoesNotFinishWithinItsHint) {
  for (uint32_t pending : {kStartPending, kContinuePending}) {
    Found(Status(pending, 1, 0));  // hint 0: the wait returns at once
    EXPECT_EQ(Stop(), kOk) << pending;
    EXPECT_TRUE(clock.sleeps.empty());
  }
  // The pending state ends in something other than running: no stop either.
  Found(Status(kStartPending, 1, 4000));
  service.Follow({{0, Status(kStartPending, 1, 4000)}, {1000, Status(kStopped)}});
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 0);
}

TEST_F(ServiceOperation, APendingStateWithAHugeHintIsWaitedOutForTwoMinutesAtMost) {
  // Still making progress after ten minutes, so only the cap ends the wait.
  for (bool stop : {true, false}) {
    Found(Status(kStartPending, 1, 0xFFFFFFFFu));
    service.Follow(ProgressingUntil(kStartPending, 0xFFFFFFFFu, 1000, 600000, kRunning));
    const uint64_t began = clock.Elapsed();
    EXPECT_EQ(stop ? Stop() : Start(), kOk);
    EXPECT_GE(clock.Elapsed() - began, kPendingStateWaitCapMs);
    EXPECT_LE(clock.Elapsed() - began, kPendingStateWaitCapMs + 3000u);
  }
  EXPECT_EQ(service.stopControls, 0);
  EXPECT_EQ(service.startRequests, 0);
}

TEST_F(ServiceOperation, StopWaitsOutAStopInProgress) {
  Found(Status(kStopPending, 1, 4000));
  service.Follow({{0, Status(kStopPending, 1, 4000)}, {1000, Status(kStopped)}});
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 0);
  EXPECT_EQ(clock.Elapsed(), 1000u);
}

TEST_F(ServiceOperation, StopReportsTheWaitWhenAStopInProgressHangs) {
  Found(Status(kStopPending, 1, 4000));
  service.failingReads[3] = 5;  // the second read of the wait
  EXPECT_EQ(Stop(), Hr(0x80070005u));
  EXPECT_EQ(service.stopControls, 0);
  Found(Status(kStopPending, 1, 0));
  EXPECT_EQ(Stop(), kOk);  // still pending, the wait itself did not fail
  EXPECT_EQ(service.stopControls, 0);
}

TEST_F(ServiceOperation, StopWaitsOutAPauseThenStopsThePausedService) {
  Found(Status(kPausePending, 1, 4000));
  service.Follow({{0, Status(kPausePending, 1, 4000)}, {1000, Status(kPaused)}});
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 1);
}

TEST_F(ServiceOperation, StopLeavesAPauseThatEndsRunning) {
  Found(Status(kPausePending, 1, 4000));
  service.Follow({{0, Status(kPausePending, 1, 4000)}, {1000, Status(kRunning)}});
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(service.stopControls, 0);
  Found(Status(kPausePending, 1, 4000));
  service.failingReads[service.reads + 3] = 5;  // the wait's second read
  EXPECT_EQ(Stop(), Hr(0x80070005u));
  EXPECT_EQ(service.stopControls, 0);
}

TEST_F(ServiceOperation, StopControlFailureIsTheResult) {
  Found(Status(kRunning));
  service.stopControlError = 1051;  // ERROR_DEPENDENT_SERVICES_RUNNING
  EXPECT_EQ(Stop(), Hr(0x8007041Bu));
  EXPECT_EQ(service.reads, 1);  // no read after a refused control
}

TEST_F(ServiceOperation, StatusReadAfterTheStopControlFailing) {
  Found(Status(kRunning));
  service.failingReads[2] = 6;
  EXPECT_EQ(Stop(), Hr(0x80070006u));
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(ServiceOperation, StopResultIsTheWaitsEvenWhenStillStopping) {
  Found(Status(kRunning));
  service.afterStop = ProgressingUntil(kStopPending, 60000, 1000, 90000, kStopped);
  EXPECT_EQ(Stop(), kOk);
  EXPECT_EQ(clock.Elapsed(), 21000u);  // 20 s, polled every 3 s
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kStopPending);
}

TEST_F(ServiceOperation, StopReportsAReadFailureDuringTheStopWait) {
  Found(Status(kRunning));
  service.afterStop = ProgressingUntil(kStopPending, 10000, 1000, 90000, kStopped);
  service.failingReads[4] = 5;  // found, after the control, first of the wait, second of the wait
  EXPECT_EQ(Stop(), Hr(0x80070005u));
}

// Start, by the state found

TEST_F(ServiceOperation, StartLeavesRunningAndPausedServicesAlone) {
  for (uint32_t state : {kRunning, kPaused}) {
    Found(Status(state));
    EXPECT_EQ(Start(), kOk) << state;
    EXPECT_EQ(QueryServiceState(service, L"QVLDs"), state);
  }
  EXPECT_EQ(service.startRequests, 0);
}

TEST_F(ServiceOperation, StartOfAStoppedServiceWaitsUntilItRuns) {
  Found(Status(kStopped));
  EXPECT_EQ(Start(), kOk);
  EXPECT_EQ(service.startRequests, 1);
  EXPECT_EQ(clock.Elapsed(), 1500u);
}

TEST_F(ServiceOperation, StartOfAnUnknownStateStartsIt) {
  for (uint32_t state : {0u, 8u}) {
    Found(Status(state));
    EXPECT_EQ(Start(), kOk) << state;
  }
  EXPECT_EQ(service.startRequests, 2);
}

TEST_F(ServiceOperation, StartWaitsOutAPendingStartOrContinue) {
  for (uint32_t pending : {kStartPending, kContinuePending}) {
    Found(Status(pending, 1, 4000));
    service.Follow({{0, Status(pending, 1, 4000)}, {1000, Status(kRunning)}});
    EXPECT_EQ(Start(), kOk) << pending;
    // Ending anywhere but running gives the wait's result.
    Found(Status(pending, 1, 4000));
    service.failingReads[service.reads + 2] = 5;
    EXPECT_EQ(Start(), Hr(0x80070005u)) << pending;
  }
  EXPECT_EQ(service.startRequests, 0);
}

TEST_F(ServiceOperation, StartWithAHintOfZeroActsOnTheStateAlone) {
  Found(Status(kStartPending, 1, 0));
  EXPECT_EQ(Start(), kOk);  // the wait's result: no start request while pending
  Found(Status(kPausePending, 1, 0));
  EXPECT_EQ(Start(), kOk);
  EXPECT_EQ(service.startRequests, 0);
  Found(Status(kStopPending, 1, 0));
  EXPECT_EQ(Start(), kOk);
  EXPECT_EQ(service.startRequests, 0);  // still stop pending: not started
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(ServiceOperation, StartWaitsOutAStopThenStarts) {
  Found(Status(kStopPending, 1, 4000));
  service.Follow({{0, Status(kStopPending, 1, 4000)}, {1000, Status(kStopped)}});
  EXPECT_EQ(Start(), kOk);
  EXPECT_EQ(service.startRequests, 1);
  EXPECT_EQ(QueryServiceState(service, L"QVLDs"), kRunning);
}

TEST_F(ServiceOperation, StartGivesUpOnAStopThatEndsElsewhere) {
  Found(Status(kStopPending, 1, 4000));
  service.Follow({{0, Status(kStopPending, 1, 4000)}, {1000, Status(kRunning)}});
  EXPECT_EQ(Start(), kOk);
  Found(Status(kStopPending, 1, 4000));
  service.failingReads[service.reads + 2] = 5;
  EXPECT_EQ(Start(), Hr(0x80070005u));
  EXPECT_EQ(service.startRequests, 0);
}

TEST_F(ServiceOperation, StartNeitherStartsNorContinuesAfterAPause) {
  for (uint32_t after : {kPaused, kRunning, kStopped}) {
    Found(Status(kPausePending, 1, 4000));
    service.Follow({{0, Status(kPausePending, 1, 4000)}, {1000, Status(after)}});
    EXPECT_EQ(Start(), kOk) << after;
  }
  EXPECT_EQ(service.startRequests, 0);
}

TEST_F(ServiceOperation, StartRequestFailureIsTheResult) {
  Found(Status(kStopped));
  service.startError = 1058;  // ERROR_SERVICE_DISABLED
  EXPECT_EQ(Start(), Hr(0x80070422u));
  EXPECT_EQ(service.reads, 1);
}

TEST_F(ServiceOperation, StartThatEndsStoppedIsNotActive) {
  Found(Status(kStopped));
  service.afterStart = {{0, Status(kStartPending, 1, 4000)}, {1000, Status(kStopped)}};
  EXPECT_EQ(Start(), kServiceNotActiveResult);
  EXPECT_EQ(kServiceNotActiveResult, Hr(0x80070426u));
  Found(Status(kStopped));
  service.afterStart = {{0, Status(kStartPending, 1, 4000)}, {1000, Status(kStopPending, 1, 4000)}};
  EXPECT_EQ(Start(), kServiceNotActiveResult);
}

TEST_F(ServiceOperation, StartStillPendingAfterTwentySecondsGivesFalse) {
  Found(Status(kStopped));
  service.afterStart = ProgressingUntil(kStartPending, 60000, 1000, 90000, kRunning);
  EXPECT_EQ(Start(), kFalse);
  EXPECT_EQ(clock.Elapsed(), 21000u);
}

TEST_F(ServiceOperation, StartWithoutProgressBeyondTheHintGivesFalse) {
  Found(Status(kStopped));
  service.afterStart = {{0, Status(kStartPending, 4, 2000)}, {60000, Status(kRunning)}};
  EXPECT_EQ(Start(), kFalse);
  EXPECT_EQ(clock.Elapsed(), 2500u);
}

TEST_F(ServiceOperation, StartThatEndsInAnotherStateGivesFalse) {
  Found(Status(kStopped));
  service.afterStart = {{0, Status(kStartPending, 1, 4000)}, {1000, Status(kPaused)}};
  EXPECT_EQ(Start(), kFalse);
}

TEST_F(ServiceOperation, StartReportsAReadFailureDuringTheStartWait) {
  Found(Status(kStopped));
  service.afterStart = ProgressingUntil(kStartPending, 10000, 1000, 90000, kRunning);
  service.failingReads[3] = 1053;  // found, first of the wait, second of the wait
  EXPECT_EQ(Start(), Hr(0x8007041Du));
}

}  // namespace
