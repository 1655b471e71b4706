// The service operations against the Service Control Manager of the Wine
// prefix: the component services are not installed there, Wine's own
// services stand for installed ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/win32_raii.h"
#include "control/service_control.h"

namespace {

// Running in every Wine prefix, and stopped (but startable) respectively.
const wchar_t kRunningService[] = L"PlugPlay";
const wchar_t kStoppedService[] = L"Spooler";

UniqueServiceHandle OpenWineService(const wchar_t* name, DWORD rights, UniqueServiceHandle& manager) {
  manager.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  return UniqueServiceHandle(OpenServiceW(manager.Get(), name, rights));
}

TEST(ServiceControl, ComponentServicesThatAreNotInstalledAreLeftAlone) {
  for (const wchar_t* name : {L"QVLDms", L"QVLCImp", L"QVLDs"}) {
    EXPECT_EQ(QueryServiceState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(StopServiceAndWait(name), S_FALSE);
    EXPECT_EQ(StartServiceAndWait(name), S_FALSE);
  }
}

TEST(ServiceControl, RunningServiceIsReportedAndNotStartedAgain) {
  EXPECT_EQ(QueryServiceState(kRunningService), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(StartServiceAndWait(kRunningService), S_OK);
  EXPECT_EQ(QueryServiceState(kRunningService), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ServiceControl, StoppedServiceIsStartedAndStoppedAgain) {
  ASSERT_EQ(QueryServiceState(kStoppedService), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(StopServiceAndWait(kStoppedService), S_OK);  // already stopped: nothing sent
  EXPECT_EQ(StartServiceAndWait(kStoppedService), S_OK);
  EXPECT_EQ(QueryServiceState(kStoppedService), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(StopServiceAndWait(kStoppedService), S_OK);
  EXPECT_EQ(QueryServiceState(kStoppedService), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(ServiceWait, StateOtherThanTheWaitedOneReturnsAtOnce) {
  UniqueServiceHandle manager;
  UniqueServiceHandle service = OpenWineService(kRunningService, SERVICE_QUERY_STATUS, manager);
  ASSERT_TRUE(service);
  DWORD reached = 0;
  const DWORD start = GetTickCount();
  EXPECT_EQ(WaitWhileServiceState(service.Get(), SERVICE_START_PENDING, 20000, reached), S_OK);
  EXPECT_EQ(reached, static_cast<DWORD>(SERVICE_RUNNING));
  reached = 0;
  EXPECT_EQ(WaitWhileServiceState(service.Get(), SERVICE_RUNNING, 0, reached), S_OK);
  EXPECT_EQ(reached, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_LT(GetTickCount() - start, 400u);
}

TEST(ServiceWait, TimeOutBoundsTheWaitAndEverySleep) {
  UniqueServiceHandle manager;
  UniqueServiceHandle service = OpenWineService(kRunningService, SERVICE_QUERY_STATUS, manager);
  ASSERT_TRUE(service);
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                   sizeof status, &needed));
  // A running service reports no progress; a wait shorter than its hint ends on the time-out.
  const DWORD interval = std::clamp<DWORD>(status.dwWaitHint / 10, 500, 3000);
  const DWORD timeout = interval + interval / 2;
  ASSERT_LT(2 * interval, status.dwWaitHint) << "hint " << status.dwWaitHint;
  DWORD reached = 0;
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitWhileServiceState(service.Get(), SERVICE_RUNNING, timeout, reached), S_OK);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(reached, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_GE(elapsed, 2 * interval - 10);  // two polls: the first check after the time-out ends it
  EXPECT_LT(elapsed, 2 * interval + 700);

  // A time-out below the poll interval shortens the sleep itself.
  start = GetTickCount();
  EXPECT_EQ(WaitWhileServiceState(service.Get(), SERVICE_RUNNING, 300, reached), S_OK);
  elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 490u);
}

TEST(ServiceWait, UnreadableStatusReportsTheErrorAndStateZero) {
  UniqueServiceHandle manager;
  UniqueServiceHandle service = OpenWineService(kRunningService, SERVICE_START, manager);  // no query right
  ASSERT_TRUE(service);
  DWORD reached = 77;
  EXPECT_EQ(WaitWhileServiceState(service.Get(), SERVICE_RUNNING, 20000, reached), E_ACCESSDENIED);
  EXPECT_EQ(reached, 0u);
}

}  // namespace
