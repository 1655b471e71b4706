#include "control/portable/process_routing.h"

#include <gtest/gtest.h>

#include <string>

#include "control/portable/known_programs.h"

namespace {

using Action = ProcessRoute::Action;

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

const ShutdownFolders kFolders = BuildShutdownFolders(true, L"C:\\Program Files (x86)");

ListedProcess Listed(const std::wstring& imagePath, ListedKind kind = ListedKind::kMainWindow) {
  return {imagePath, kind};
}

TEST(ProductImage, OnlyAFileDirectlyInOneOfTheProductsFolders) {
  for (const std::wstring* folder : {&kFolders.product, &kFolders.mediaSharing, &kFolders.homeNetwork,
                                     &kFolders.sharedComponents}) {
    EXPECT_TRUE(IsProductImage(*folder + L"Socialink.exe", kFolders)) << folder->c_str();
  }
  // Windows spells file names without regard to case.
  EXPECT_TRUE(IsProductImage(L"c:\\PROGRAM FILES (X86)\\orvane\\MIREVO\\socialink.exe", kFolders));
  for (const wchar_t* elsewhere : {
           L"C:\\Users\\user\\AppData\\Local\\Temp\\Socialink.exe",  // the same name anywhere else
           L"C:\\Program Files (x86)\\Orvane\\Socialink.exe",            // above the folder
           L"C:\\Program Files (x86)\\Orvane\\Mirevo\\Plugins\\Socialink.exe",  // below it
           L"C:\\Program Files (x86)\\Orvane\\Mirevo2\\Socialink.exe",  // a folder that starts alike
           L"D:\\Program Files (x86)\\Orvane\\Mirevo\\Socialink.exe",
           L"C:\\Program Files (x86)\\Orvane\\Mirevo\\",  // no file
           L"Socialink.exe",
           L"",  // an image that could not be read
       }) {
    EXPECT_FALSE(IsProductImage(elsewhere, kFolders)) << elsewhere;
  }
  // Without a Program Files folder nothing is the product's, not even a bare name.
  EXPECT_FALSE(IsProductImage(L"\\Socialink.exe", BuildShutdownFolders(false, L"")));
  EXPECT_FALSE(IsProductImage(L"Socialink.exe", BuildShutdownFolders(false, L"")));
}

TEST(RouteAffectedProcess, TheShellCriticalProcessesAndUnreadableOnesAreLeftInBothPasses) {
  for (LibraryPass pass : {LibraryPass::kFirst, LibraryPass::kLast}) {
    for (ListedKind kind : {ListedKind::kExplorer, ListedKind::kCritical}) {
      // Even with an image the shutdown would otherwise terminate or ask to quit.
      for (const std::wstring& image : {std::wstring(L"C:\\Windows\\explorer.exe"), kFolders.product + L"Travio.exe"}) {
        EXPECT_EQ(RouteAffectedProcess(Listed(image, kind), kFolders, pass).action, Action::kLeave)
            << static_cast<int>(kind) << " " << image.c_str();
      }
    }
    EXPECT_EQ(RouteAffectedProcess(Listed(L""), kFolders, pass).action, Action::kLeave);
  }
}

TEST(RouteAffectedProcess, OnlyTheProductsOwnServicesAreStoppedAndNoServiceIsTerminated) {
  for (const ServiceExecutable& row : kServiceExecutables) {
    const ListedProcess service = Listed(kFolders.sharedComponents + row.executable, ListedKind::kService);
    const ProcessRoute route = RouteAffectedProcess(service, kFolders, LibraryPass::kFirst);
    EXPECT_EQ(route.action, Action::kStopService) << row.service;
    EXPECT_STREQ(route.service, row.service);
    // One that ignored its stop is left running: a service is not terminated.
    EXPECT_EQ(RouteAffectedProcess(service, kFolders, LibraryPass::kLast).action, Action::kLeave) << row.service;
  }
  // Another service that loaded a library (a service host, one of the same
  // name elsewhere) is left in both passes.
  for (const wchar_t* image : {L"C:\\Windows\\System32\\svchost.exe", L"C:\\Tools\\QVLDs.exe"}) {
    for (LibraryPass pass : {LibraryPass::kFirst, LibraryPass::kLast}) {
      EXPECT_EQ(RouteAffectedProcess(Listed(image, ListedKind::kService), kFolders, pass).action, Action::kLeave)
          << image;
    }
  }
}

TEST(RouteAffectedProcess, KnownProgramsInTheirOwnFolderAreAskedToQuitThenTerminated) {
  for (const KnownProgram& row : kKnownPrograms) {
    const ListedProcess own = Listed(kFolders.programFiles + row.pathSuffix);
    const ProcessRoute route = RouteAffectedProcess(own, kFolders, LibraryPass::kFirst);
    EXPECT_EQ(route.action, Action::kAskToQuit) << row.executable;
    EXPECT_EQ(route.program, &row);
    // Still there in the last pass: it ignored its switch.
    EXPECT_EQ(RouteAffectedProcess(own, kFolders, LibraryPass::kLast).action, Action::kTerminateListed);
  }
  // Case does not matter to Windows.
  EXPECT_EQ(RouteAffectedProcess(Listed(L"c:\\program files (x86)\\orvane\\mirevo\\TRAVIO.EXE"), kFolders,
                                 LibraryPass::kFirst)
                .program,
            &kKnownPrograms[0]);
}

TEST(RouteAffectedProcess, AnythingElseThatUsesALibraryIsTerminatedAlone) {
  const std::wstring others[] = {
      L"C:\\Program Files (x86)\\Other Vendor\\Viewer.exe",
      // A known name, but not the product's file: the product's program is not started for it.
      L"C:\\Users\\user\\Downloads\\Travio.exe",
      kFolders.product + L"Castwell.exe",  // a known name in another program's folder
      kFolders.sharedComponents + L"QVLDs.exe",  // the service's file run as a program
      kFolders.product + L"Socialink.exe",
  };
  for (const std::wstring& image : others) {
    for (LibraryPass pass : {LibraryPass::kFirst, LibraryPass::kLast}) {
      EXPECT_EQ(RouteAffectedProcess(Listed(image, ListedKind::kUnknown), kFolders, pass).action,
                Action::kTerminateListed)
          << image.c_str();
    }
  }
  // Without a Program Files folder no program is the product's.
  EXPECT_EQ(RouteAffectedProcess(Listed(L"\\Orvane\\Castwell\\Castwell.exe"), BuildShutdownFolders(false, L""),
                                 LibraryPass::kFirst)
                .action,
            Action::kTerminateListed);
}

}  // namespace
