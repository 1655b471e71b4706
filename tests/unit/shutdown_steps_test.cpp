#include "control/portable/shutdown_steps.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "payload/portable/patch_file_table.h"

namespace {

const std::wstring kProgramFiles = L"C:\\Program Files (x86)";
const std::wstring kShared = kProgramFiles + L"\\Common Files\\Orvane Shared\\QVLLib\\";

// Writes down every call, in order; the library users of each pass are given.
class RecordingSystem : public ShutdownSystem {
 public:
  std::vector<std::wstring> log;
  // Per library path, the processes listed in the first and in the second pass.
  std::map<std::wstring, std::vector<ListedProcess>> firstPass, secondPass;

  void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) override {
    log.push_back(L"quit " + path + L" " + quitSwitch);
  }
  // The processes each name finds.
  std::map<std::wstring, std::vector<RunningProcess>> running;

  std::vector<RunningProcess> ProcessesNamed(const std::wstring& name) override {
    log.push_back(L"processes " + name);
    return running[name];
  }
  void TerminateRunningProcess(const RunningProcess& process) override {
    log.push_back(L"terminate " + std::to_wstring(process.processId) + L" started " +
                  std::to_wstring(process.startTime));
  }
  void TerminateListedProcess(int32_t index, const std::wstring& name) override {
    log.push_back(L"terminate listed " + std::to_wstring(index) + L" " + name);
  }
  void StopServiceAndWait(const wchar_t* service) override { log.push_back(std::wstring(L"stop ") + service); }
  int32_t ListLibraryUsers(const std::wstring& libraryPath) override {
    log.push_back(L"list " + libraryPath);
    auto& pass = listed_[libraryPath]++ == 0 ? firstPass : secondPass;
    current_ = pass[libraryPath];
    return static_cast<int32_t>(current_.size());
  }
  ListedProcess AffectedProcess(int32_t index) override {
    log.push_back(L"image " + std::to_wstring(index));
    return current_.at(static_cast<size_t>(index));
  }
  void EndLibraryQuery() override {
    log.push_back(L"end");
    current_.clear();
  }

 private:
  std::map<std::wstring, int> listed_;
  std::vector<ListedProcess> current_;
};

// The calls of steps 2 to 5, before the library passes.
std::vector<std::wstring> KnownProgramSteps(const std::wstring& programFiles) {
  const std::wstring product = programFiles.empty() ? L"" : programFiles + L"\\Orvane\\Mirevo\\";
  const std::wstring shared = programFiles.empty() ? L"" : programFiles + L"\\Common Files\\Orvane Shared\\QVLLib\\";
  const std::wstring castwell = programFiles.empty() ? L"" : programFiles + L"\\Orvane\\Castwell\\";
  const std::wstring homereel = programFiles.empty() ? L"" : programFiles + L"\\Orvane\\Homereel\\";
  return {
      L"quit " + product + L"Travio.exe /q",
      L"quit " + product + L"TravioHelper.exe /q",
      L"quit " + product + L"TravioUploader.exe /q",
      L"processes Socialink.exe",
      L"quit " + castwell + L"Castwell.exe /Q",
      L"quit " + homereel + L"Homereel.exe /Q",
      L"quit " + shared + L"Traylet.exe /Q",
      L"quit " + shared + L"Libhost.exe /Q",
      L"stop QVLDms",
      L"stop QVLCImp",
      L"stop QVLDs",
  };
}

std::vector<std::wstring> EmptyPass(const std::wstring& sharedFolder) {
  std::vector<std::wstring> calls;
  for (const wchar_t* library : kWatchedLibraries) {
    calls.push_back(L"list " + sharedFolder + library);
    calls.push_back(L"end");
  }
  return calls;
}

void Append(std::vector<std::wstring>& to, const std::vector<std::wstring>& calls) {
  to.insert(to.end(), calls.begin(), calls.end());
}

TEST(ShutdownFolders, BuiltOnProgramFilesEachWithABackslash) {
  const ShutdownFolders folders = BuildShutdownFolders(true, kProgramFiles);
  EXPECT_EQ(folders.programFiles, kProgramFiles);
  EXPECT_EQ(folders.sharedComponents, kShared);
  EXPECT_EQ(folders.product, kProgramFiles + L"\\Orvane\\Mirevo\\");
  EXPECT_EQ(folders.mediaSharing, kProgramFiles + L"\\Orvane\\Castwell\\");
  EXPECT_EQ(folders.homeNetwork, kProgramFiles + L"\\Orvane\\Homereel\\");
  // Each known program's folder and name give the same path as its start path.
  for (const KnownProgram& program : kKnownPrograms) {
    EXPECT_EQ(folders.Of(program.folder) + program.executable, kProgramFiles + program.pathSuffix)
        << program.executable;
  }
}

TEST(ShutdownFolders, AllEmptyWithoutProgramFiles) {
  const ShutdownFolders folders = BuildShutdownFolders(false, L"");
  for (const std::wstring* text : {&folders.programFiles, &folders.sharedComponents, &folders.product,
                                   &folders.mediaSharing, &folders.homeNetwork}) {
    EXPECT_TRUE(text->empty());
  }
}

TEST(ShutdownSteps, NothingRunningGoesThroughEveryStepInOrder) {
  RecordingSystem system;
  RunShutdownSteps(system, BuildShutdownFolders(true, kProgramFiles));
  std::vector<std::wstring> expected = KnownProgramSteps(kProgramFiles);
  Append(expected, EmptyPass(kShared));
  Append(expected, EmptyPass(kShared));
  EXPECT_EQ(system.log, expected);
}

TEST(ShutdownSteps, WithoutProgramFilesThePathsAreBareAndNothingIsTheProducts) {
  RecordingSystem system;
  system.running[L"Socialink.exe"] = {{40, 4000, L"\\Socialink.exe"}};
  system.firstPass[L"qvl-core.dll"] = {{L"\\Orvane\\Castwell\\Castwell.exe", ListedKind::kMainWindow}};
  RunShutdownSteps(system, BuildShutdownFolders(false, L""));
  std::vector<std::wstring> expected = KnownProgramSteps(L"");
  std::vector<std::wstring> first = EmptyPass(L"");
  first.insert(first.begin() + 1, {L"image 0", L"terminate listed 0 Castwell.exe"});
  Append(expected, first);
  Append(expected, EmptyPass(L""));
  EXPECT_EQ(system.log, expected);
}

TEST(ShutdownSteps, OnlyTheProductsOwnSocialNetworkHelperIsTerminatedByItsIdAndStartTime) {
  RecordingSystem system;
  system.running[L"Socialink.exe"] = {
      {11, 1100, kProgramFiles + L"\\Orvane\\Mirevo\\Socialink.exe"},
      {12, 1200, L"C:\\Users\\user\\AppData\\Roaming\\Socialink.exe"},  // anyone's program of that name
      {13, 1300, L""},                                                  // could not be read
      {14, 1400, kProgramFiles + L"\\Orvane\\MIREVO\\socialink.exe"},
  };
  RunShutdownSteps(system, BuildShutdownFolders(true, kProgramFiles));
  std::vector<std::wstring> expected = KnownProgramSteps(kProgramFiles);
  expected.insert(expected.begin() + 4, {L"terminate 11 started 1100", L"terminate 14 started 1400"});
  Append(expected, EmptyPass(kShared));
  Append(expected, EmptyPass(kShared));
  EXPECT_EQ(system.log, expected);
}

TEST(ShutdownSteps, FirstPassClosesEachUserByItsKindThenTheSecondTerminatesWhatMayBe) {
  RecordingSystem system;
  const std::wstring core = kShared + L"qvl-core.dll";
  const std::wstring sdk = kShared + L"socialink-sdk.dll";
  const ListedProcess service{kShared + L"QVLDs.exe", ListedKind::kService};
  const ListedProcess helper{kProgramFiles + L"\\Orvane\\Mirevo\\TravioHelper.exe", ListedKind::kMainWindow};
  const ListedProcess viewer{kProgramFiles + L"\\Other\\Viewer.exe", ListedKind::kMainWindow};
  const ListedProcess shell{L"C:\\Windows\\explorer.exe", ListedKind::kExplorer};
  const ListedProcess travio{kProgramFiles + L"\\Orvane\\Mirevo\\Travio.exe", ListedKind::kMainWindow};
  system.firstPass[core] = {service, helper, viewer, {L"", ListedKind::kUnknown}, shell};
  system.firstPass[sdk] = {travio};
  // Still there in the second pass: the program that ignored its switch, the
  // service that ignored its stop and the shell.
  system.secondPass[sdk] = {travio, {kShared + L"QVLDms.exe", ListedKind::kService}, shell};

  RunShutdownSteps(system, BuildShutdownFolders(true, kProgramFiles));

  std::vector<std::wstring> expected = KnownProgramSteps(kProgramFiles);
  std::vector<std::wstring> first = EmptyPass(kShared);
  first.insert(first.begin() + 1, {
                                      L"image 0",
                                      L"stop QVLDs",
                                      L"image 1",
                                      L"quit " + kProgramFiles + L"\\Orvane\\Mirevo\\TravioHelper.exe /q",
                                      L"image 2",
                                      L"terminate listed 2 Viewer.exe",
                                      L"image 3",  // unreadable: left
                                      L"image 4",  // the shell: left
                                  });
  first.insert(first.end() - 1, {L"image 0", L"quit " + kProgramFiles + L"\\Orvane\\Mirevo\\Travio.exe /q"});
  Append(expected, first);
  std::vector<std::wstring> second = EmptyPass(kShared);
  second.insert(second.end() - 1, {L"image 0", L"terminate listed 0 Travio.exe", L"image 1", L"image 2"});
  Append(expected, second);
  EXPECT_EQ(system.log, expected);
}

}  // namespace
