#include "control/process_routing.h"

#include <gtest/gtest.h>

#include <string>

#include "control/known_programs.h"

namespace {

using Action = ProcessRoute::Action;

const std::wstring kDevice = L"\\Device\\HarddiskVolume1\\Program Files\\";

TEST(KnownPrograms, SevenRowsWithTheirSwitches) {
  const wchar_t* names[] = {L"Travio.exe",   L"TravioHelper.exe", L"TravioUploader.exe", L"Castwell.exe",
                            L"Homereel.exe", L"Traylet.exe",      L"Libhost.exe"};
  ASSERT_EQ(kKnownPrograms.size(), 7u);
  for (size_t row = 0; row < kKnownPrograms.size(); ++row) {
    const KnownProgram& program = kKnownPrograms[row];
    EXPECT_STREQ(program.executable, names[row]) << row;
    // The start path ends in the executable searched for.
    EXPECT_EQ(ExecutableNameOf(program.pathSuffix), program.executable) << row;
    EXPECT_EQ(program.pathSuffix[0], L'\\') << row;
    EXPECT_STREQ(program.quitSwitch, row < kFirstUpperSwitchProgram ? L"/q" : L"/Q") << row;
  }
  EXPECT_STREQ(kKnownPrograms[3].pathSuffix, L"\\Orvane\\Castwell\\Castwell.exe");
  EXPECT_STREQ(kKnownPrograms[6].pathSuffix, L"\\Common Files\\Orvane Shared\\QVLLib\\Libhost.exe");
}

TEST(KnownPrograms, ServiceExecutablesPairWithTheirServices) {
  ASSERT_EQ(kServiceExecutables.size(), 3u);
  EXPECT_STREQ(kServiceExecutables[0].executable, L"QVLCImp.exe");
  EXPECT_STREQ(kServiceExecutables[1].executable, L"QVLDs.exe");
  EXPECT_STREQ(kServiceExecutables[2].executable, L"QVLDms.exe");
  for (const ServiceExecutable& row : kServiceExecutables) {
    EXPECT_EQ(std::wstring(row.service) + L".exe", row.executable);
  }
  EXPECT_STREQ(kServiceStopOrder[0], L"QVLDms");
  EXPECT_STREQ(kServiceStopOrder[1], L"QVLCImp");
  EXPECT_STREQ(kServiceStopOrder[2], L"QVLDs");
}

TEST(ExecutableName, TextAfterTheLastBackslash) {
  EXPECT_EQ(ExecutableNameOf(L"\\Device\\HarddiskVolume1\\Tools\\viewer.exe"), L"viewer.exe");
  EXPECT_EQ(ExecutableNameOf(L"viewer.exe"), L"viewer.exe");
  EXPECT_EQ(ExecutableNameOf(L"C:\\Tools\\"), L"");
  EXPECT_EQ(ExecutableNameOf(L""), L"");
}

TEST(RouteAffectedProcess, ServiceExecutablesStopTheirService) {
  for (const ServiceExecutable& row : kServiceExecutables) {
    const ProcessRoute route =
        RouteAffectedProcess(kDevice + L"Common Files\\Orvane Shared\\QVLLib\\" + row.executable);
    EXPECT_EQ(route.action, Action::kStopService) << row.service;
    EXPECT_STREQ(route.service, row.service);
  }
}

TEST(RouteAffectedProcess, KnownProgramsAreAskedToQuitByTheirRow) {
  for (const KnownProgram& row : kKnownPrograms) {
    const ProcessRoute route = RouteAffectedProcess(kDevice + L"Anywhere\\" + row.executable);
    EXPECT_EQ(route.action, Action::kAskToQuit) << row.executable;
    EXPECT_EQ(route.program, &row);
  }
}

TEST(RouteAffectedProcess, AnythingElseIsTerminatedByItsName) {
  ProcessRoute route = RouteAffectedProcess(kDevice + L"Other Vendor\\Viewer.exe");
  EXPECT_EQ(route.action, Action::kTerminateByName);
  EXPECT_EQ(route.executableName, L"Viewer.exe");
  // An unreadable path matches nothing and names nothing.
  route = RouteAffectedProcess(L"");
  EXPECT_EQ(route.action, Action::kTerminateByName);
  EXPECT_EQ(route.executableName, L"");
}

TEST(RouteAffectedProcess, MatchesAreCaseSensitiveSubstrings) {
  ProcessRoute route = RouteAffectedProcess(kDevice + L"Orvane\\Mirevo\\travio.exe");
  EXPECT_EQ(route.action, Action::kTerminateByName);
  EXPECT_EQ(route.executableName, L"travio.exe");
  route = RouteAffectedProcess(kDevice + L"Common Files\\qvlds.exe");
  EXPECT_EQ(route.action, Action::kTerminateByName);
  // A name that merely contains a known one counts as that program.
  route = RouteAffectedProcess(kDevice + L"Tools\\OldTravio.exe");
  EXPECT_EQ(route.action, Action::kAskToQuit);
  EXPECT_EQ(route.program, &kKnownPrograms[0]);
}

TEST(RouteAffectedProcess, ServicesComeFirstThenTableOrder) {
  ProcessRoute route = RouteAffectedProcess(kDevice + L"Traylet.exe.d\\QVLDs.exe");
  EXPECT_EQ(route.action, Action::kStopService);
  EXPECT_STREQ(route.service, L"QVLDs");
  route = RouteAffectedProcess(kDevice + L"QVLDms.exe.d\\QVLCImp.exe");
  EXPECT_STREQ(route.service, L"QVLCImp");
  route = RouteAffectedProcess(kDevice + L"Libhost.exe.d\\Castwell.exe");
  EXPECT_EQ(route.program, &kKnownPrograms[3]);
}

}  // namespace
