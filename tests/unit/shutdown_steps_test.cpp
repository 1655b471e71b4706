#include "control/shutdown_steps.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "payload/patch_file_table.h"

namespace {

const std::wstring kProgramFiles = L"C:\\Program Files (x86)";
const std::wstring kShared = kProgramFiles + L"\\Common Files\\Orvane Shared\\QVLLib\\";

// Writes down every call, in order; the library users of each pass are given.
class RecordingSystem : public ShutdownSystem {
 public:
  std::vector<std::wstring> log;
  // Per library path, the image paths listed in the first and in the second pass.
  std::map<std::wstring, std::vector<std::wstring>> firstPass, secondPass;

  void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) override {
    log.push_back(L"quit " + path + L" " + quitSwitch);
  }
  void TerminateProcessesByName(const std::wstring& name) override { log.push_back(L"terminate " + name); }
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
  std::wstring AffectedProcessImage(int32_t index) override {
    log.push_back(L"image " + std::to_wstring(index));
    return current_.at(static_cast<size_t>(index));
  }
  void EndLibraryQuery() override {
    log.push_back(L"end");
    current_.clear();
  }

 private:
  std::map<std::wstring, int> listed_;
  std::vector<std::wstring> current_;
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
      L"terminate Socialink.exe",
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

TEST(ShutdownSteps, WithoutProgramFilesThePathsAreBare) {
  RecordingSystem system;
  system.firstPass[L"qvl-core.dll"] = {L"\\Device\\HarddiskVolume1\\x\\Castwell.exe"};
  RunShutdownSteps(system, BuildShutdownFolders(false, L""));
  std::vector<std::wstring> expected = KnownProgramSteps(L"");
  std::vector<std::wstring> first = EmptyPass(L"");
  // The table's start path is then its bare suffix.
  first.insert(first.begin() + 1, {L"image 0", L"quit \\Orvane\\Castwell\\Castwell.exe /Q"});
  Append(expected, first);
  Append(expected, EmptyPass(L""));
  EXPECT_EQ(system.log, expected);
}

TEST(ShutdownSteps, FirstPassClosesEachUserByItsKindThenTheSecondTerminates) {
  RecordingSystem system;
  const std::wstring device = L"\\Device\\HarddiskVolume1\\Program Files (x86)\\";
  const std::wstring core = kShared + L"qvl-core.dll";
  const std::wstring sdk = kShared + L"socialink-sdk.dll";
  system.firstPass[core] = {
      device + L"Common Files\\Orvane Shared\\QVLLib\\QVLDs.exe",
      device + L"Orvane\\Mirevo\\TravioHelper.exe",
      device + L"Other\\Viewer.exe",
      L"",  // image path not readable
  };
  system.firstPass[sdk] = {device + L"Orvane\\Mirevo\\Travio.exe"};
  // Still there in the second pass: the program that ignored its switch and a service.
  system.secondPass[sdk] = {device + L"Orvane\\Mirevo\\Travio.exe",
                            device + L"Common Files\\Orvane Shared\\QVLLib\\QVLDms.exe"};

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
                                      L"image 3",  // unreadable: no name to end it by
                                  });
  first.insert(first.end() - 1, {L"image 0", L"quit " + kProgramFiles + L"\\Orvane\\Mirevo\\Travio.exe /q"});
  Append(expected, first);
  std::vector<std::wstring> second = EmptyPass(kShared);
  second.insert(second.end() - 1,
                {L"image 0", L"terminate listed 0 Travio.exe", L"image 1", L"terminate listed 1 QVLDms.exe"});
  Append(expected, second);
  EXPECT_EQ(system.log, expected);
}

}  // namespace
