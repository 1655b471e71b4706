// Extraction of payload resources into the work folder, and the installation
// of the files alone, which replaces all of them or none.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "base/win32_raii.h"
#include "payload/extract_payload.h"
#include "payload/install_files.h"

namespace {

constexpr int kValid = 9001, kTruncated = 9002, kBadSignature = 9003, kRegScript = 9004;
constexpr HRESULT kExpansionFailed = static_cast<HRESULT>(0x8007006E);

std::string ResourceBytes(int id, const wchar_t* type) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return std::string();
  return std::string(static_cast<const char*>(LockResource(LoadResource(module, found))),
                     SizeofResource(module, found));
}

std::string FileBytes(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  if (!file) return "<missing>";
  std::string data(GetFileSize(file.Get(), nullptr), '\0');
  DWORD read = 0;
  ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
  return data;
}

void WriteBytes(const std::wstring& path, const std::string& data) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

PatchFileEntry Row(int id, const std::wstring& fileName) {
  PatchFileEntry row;
  row.on32 = row.on64 = true;
  row.resourceId = id;
  row.fileName = fileName;
  row.fileTime = {2013, 9, 11, 2, 0, 0, 0};
  return row;
}

class Extraction : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MakeWorkFolder(L"extract-test", work_), S_OK); }
  void TearDown() override {
    for (const wchar_t* name : {L"core-ui.dll", L"core-ui.dll.tmp", L"Reg.reg"}) DeleteFileW((work_ + name).c_str());
    RemoveWorkFolderIfEmpty();
  }
  std::wstring work_;
};

TEST_F(Extraction, WorkFolderIsNamedAfterTheProgram) {
  EXPECT_EQ(WorkFolderName(), L"win32_tests.exe");
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(work_, std::wstring(temp) + L"extract-test.tmp\\");
  EXPECT_TRUE(GetFileAttributesW(work_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  std::wstring again;
  EXPECT_EQ(MakeWorkFolder(L"extract-test", again), S_OK);
  EXPECT_EQ(again, work_);  // the folder held is reused
  // Held without delete sharing: nobody can rename it away while it is in use.
  EXPECT_FALSE(MoveFileW(work_.c_str(), (std::wstring(temp) + L"extract-test.moved").c_str()));
}

TEST_F(Extraction, ExpandsWithTheRowsTime) {
  std::wstring expanded = L"stale";
  // Only the last component of the row's file name is used in the work folder.
  ASSERT_EQ(ExtractPayload(work_, Row(kValid, L"C:\\Program Files\\x\\core-ui.dll"), L"PATCH",
                           GetModuleHandleW(nullptr), expanded),
            S_OK);
  EXPECT_EQ(expanded, work_ + L"core-ui.dll");

  // The row's time is UTC: under UTC a conversion from local time would pass unseen.
  TIME_ZONE_INFORMATION zone{};
  GetTimeZoneInformation(&zone);
  EXPECT_NE(zone.Bias, 0) << "run these tests under a time zone other than UTC (TZ)";
  // Times first: reading the file would move its access time.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(expanded.c_str(), GetFileExInfoStandard, &data));
  SYSTEMTIME written{};
  FileTimeToSystemTime(&data.ftLastWriteTime, &written);  // UTC, whatever the time zone
  EXPECT_EQ(written.wYear, 2013);
  EXPECT_EQ(written.wMonth, 9);
  EXPECT_EQ(written.wDay, 11);
  EXPECT_EQ(written.wHour, 2);
  EXPECT_EQ(written.wMinute, 0);
  EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &data.ftLastAccessTime), 0);
  EXPECT_EQ(FileBytes(expanded), ResourceBytes(kValid, RT_RCDATA));
}

TEST_F(Extraction, AnExistingFileOfTheSameNameIsOverwritten) {
  WriteBytes(work_ + L"core-ui.dll", std::string(500000, 'y'));
  std::wstring expanded;
  ASSERT_EQ(ExtractPayload(work_, Row(kValid, L"core-ui.dll"), L"PATCH", GetModuleHandleW(nullptr), expanded),
            S_OK);
  EXPECT_EQ(FileBytes(expanded), ResourceBytes(kValid, RT_RCDATA));
}

TEST_F(Extraction, ResourceTypeAndNegativeIds) {
  std::wstring expanded;
  EXPECT_EQ(ExtractPayload(work_, Row(-kRegScript, L"Reg.reg"), L"REG", GetModuleHandleW(nullptr), expanded), S_OK);
  EXPECT_EQ(FileBytes(work_ + L"Reg.reg"), ResourceBytes(kValid, RT_RCDATA));
  // The same id under the other type does not exist.
  EXPECT_EQ(ExtractPayload(work_, Row(kRegScript, L"core-ui.dll"), L"PATCH", GetModuleHandleW(nullptr), expanded),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(expanded, L"");
}

TEST_F(Extraction, DataThatDoesNotExpandFails) {
  for (int id : {kTruncated, kBadSignature}) {
    std::wstring expanded = L"stale";
    EXPECT_EQ(ExtractPayload(work_, Row(id, L"core-ui.dll"), L"PATCH", GetModuleHandleW(nullptr), expanded),
              kExpansionFailed)
        << id;
    EXPECT_EQ(expanded, L"") << id;
  }
}

TEST_F(Extraction, WorkFolderThatCannotBeWrittenFails) {
  std::wstring expanded;
  const HRESULT result = ExtractPayload(L"C:\\no\\such\\folder\\", Row(kValid, L"core-ui.dll"), L"PATCH",
                                        GetModuleHandleW(nullptr), expanded);
  EXPECT_EQ(result, kExpansionFailed);  // the expanded file cannot be opened
}

class InstallLoop : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"install-loop\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    CreateDirectoryW((root_ + L"ENG").c_str(), nullptr);
    CreateDirectoryW((root_ + L"FRA").c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"ENG\\lang-text.dll", L"FRA\\lang-text.dll", L"third.dll", L"gone.dll"}) {
      SetFileAttributesW((root_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((root_ + name).c_str());
    }
    RemoveDirectoryW((root_ + L"ENG").c_str());
    RemoveDirectoryW((root_ + L"FRA").c_str());
    RemoveDirectoryW(root_.c_str());
  }
  // Files named after `path` with something appended: new files or aside names left behind.
  static std::vector<std::wstring> Beside(const std::wstring& path) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((path + L".*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    const std::wstring leaf = path.substr(path.rfind(L'\\') + 1);
    do {
      if (found.cFileName != leaf) names.push_back(found.cFileName);  // "x.*" also finds x itself
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
  }
  std::wstring root_;
};

TEST_F(InstallLoop, SameFileNameInTwoFoldersAndARemoval) {
  WriteBytes(root_ + L"ENG\\lang-text.dll", "old english");
  WriteBytes(root_ + L"FRA\\lang-text.dll", "old french");
  WriteBytes(root_ + L"gone.dll", "retired");
  PatchFileEntry removal = Row(0, root_ + L"gone.dll");
  const InstallList list = {Row(kValid, root_ + L"ENG\\lang-text.dll"), Row(kValid, root_ + L"FRA\\lang-text.dll"),
                            removal};
  EXPECT_EQ(InstallFiles(list, GetModuleHandleW(nullptr)), S_OK);
  EXPECT_EQ(FileBytes(root_ + L"ENG\\lang-text.dll"), ResourceBytes(kValid, RT_RCDATA));
  EXPECT_EQ(FileBytes(root_ + L"FRA\\lang-text.dll"), ResourceBytes(kValid, RT_RCDATA));
  EXPECT_FALSE(Exists(root_ + L"gone.dll"));
  // The old copies went with the finish.
  for (const wchar_t* name : {L"ENG\\lang-text.dll", L"FRA\\lang-text.dll", L"gone.dll"}) {
    EXPECT_TRUE(Beside(root_ + name).empty()) << name;
  }
}

TEST_F(InstallLoop, ReadOnlyHiddenDestinationNeverBlocksTheNextRowOfTheSameName) {
  WriteBytes(root_ + L"ENG\\lang-text.dll", "old english");
  WriteBytes(root_ + L"FRA\\lang-text.dll", "old french");
  SetFileAttributesW((root_ + L"ENG\\lang-text.dll").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const InstallList list = {Row(kValid, root_ + L"ENG\\lang-text.dll"), Row(kValid, root_ + L"FRA\\lang-text.dll")};
  EXPECT_EQ(InstallFiles(list, GetModuleHandleW(nullptr)), S_OK);
  EXPECT_EQ(FileBytes(root_ + L"ENG\\lang-text.dll"), ResourceBytes(kValid, RT_RCDATA));
  EXPECT_EQ(FileBytes(root_ + L"FRA\\lang-text.dll"), ResourceBytes(kValid, RT_RCDATA));
  const DWORD kept = GetFileAttributesW((root_ + L"ENG\\lang-text.dll").c_str());
  EXPECT_EQ(kept & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(GetFileAttributesW((root_ + L"FRA\\lang-text.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// A payload that does not expand is found while the new files are written,
// before any installed file moves.
TEST_F(InstallLoop, PayloadThatDoesNotExpandLeavesEveryFileOld) {
  WriteBytes(root_ + L"ENG\\lang-text.dll", "old english");
  WriteBytes(root_ + L"FRA\\lang-text.dll", "old french");
  WriteBytes(root_ + L"third.dll", "old third");
  const InstallList list = {Row(kValid, root_ + L"ENG\\lang-text.dll"), Row(kTruncated, root_ + L"FRA\\lang-text.dll"),
                            Row(kValid, root_ + L"third.dll")};
  EXPECT_EQ(InstallFiles(list, GetModuleHandleW(nullptr)), kExpansionFailed);
  EXPECT_EQ(FileBytes(root_ + L"ENG\\lang-text.dll"), "old english");
  EXPECT_EQ(FileBytes(root_ + L"FRA\\lang-text.dll"), "old french");
  EXPECT_EQ(FileBytes(root_ + L"third.dll"), "old third");
  // The new files written before the failure and the half-expanded one went with it.
  for (const wchar_t* name : {L"ENG\\lang-text.dll", L"FRA\\lang-text.dll", L"third.dll"}) {
    EXPECT_TRUE(Beside(root_ + name).empty()) << name;
  }
}

// A file held without delete sharing is found only when it is to be renamed,
// after the rows before it are in place: they are put back.
TEST_F(InstallLoop, FileHeldInTheMiddleLeavesEveryFileOld) {
  WriteBytes(root_ + L"ENG\\lang-text.dll", "old english");
  WriteBytes(root_ + L"FRA\\lang-text.dll", "old french");
  WriteBytes(root_ + L"third.dll", "old third");
  SetFileAttributesW((root_ + L"third.dll").c_str(), FILE_ATTRIBUTE_READONLY);
  // Held as no update can take: not writable, not even renamable.
  const HANDLE held = CreateFileW((root_ + L"FRA\\lang-text.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const InstallList list = {Row(kValid, root_ + L"ENG\\lang-text.dll"), Row(kValid, root_ + L"FRA\\lang-text.dll"),
                            Row(kValid, root_ + L"third.dll")};
  EXPECT_EQ(InstallFiles(list, GetModuleHandleW(nullptr)), static_cast<HRESULT>(0x80070020));
  CloseHandle(held);
  EXPECT_EQ(FileBytes(root_ + L"ENG\\lang-text.dll"), "old english");
  EXPECT_EQ(FileBytes(root_ + L"FRA\\lang-text.dll"), "old french");
  EXPECT_EQ(FileBytes(root_ + L"third.dll"), "old third");
  EXPECT_EQ(GetFileAttributesW((root_ + L"third.dll").c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
  for (const wchar_t* name : {L"ENG\\lang-text.dll", L"FRA\\lang-text.dll", L"third.dll"}) {
    EXPECT_TRUE(Beside(root_ + name).empty()) << name;
  }
}

}  // namespace

namespace {

// A folder of the work folder's name that someone else may write to (here:
// Everyone) is renamed aside with everything in it, and an empty folder of
// the updater's own is held in its place.
TEST(WorkFolderSecurity, FolderOthersCanWriteIsMovedAsideWithItsFilesAndMadeAfresh) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring squatted = std::wstring(temp) + L"squat-test.tmp";
  ASSERT_TRUE(CreateDirectoryW(squatted.c_str(), nullptr));
  WriteBytes(squatted + L"\\marker.txt", "planted");
  PSECURITY_DESCRIPTOR everyone = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &everyone, nullptr));
  UniqueLocal releaseEveryone(everyone);
  PACL open = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(everyone, &present, &open, &defaulted));
  ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(squatted.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, open, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));

  std::wstring folder;
  ASSERT_EQ(MakeWorkFolder(L"squat-test", folder), S_OK);
  EXPECT_EQ(folder, squatted + L"\\");
  EXPECT_FALSE(Exists(folder + L"marker.txt"));
  // The squatter's folder and file are kept under the aside name.
  std::wstring aside;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((squatted + L".tmp.*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << "nothing was moved aside";
  aside = std::wstring(temp) + data.cFileName;
  EXPECT_FALSE(FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(FileBytes(aside + L"\\marker.txt"), "planted");

  // Where the file system keeps access lists (Windows; Wine derives them from
  // the Linux owner and mode), the new folder's is the protected one.
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION |
                                  DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl, nullptr, &security),
            static_cast<DWORD>(ERROR_SUCCESS));
  UniqueLocal releaseSecurity(security);
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid)) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    ASSERT_NE(dacl, nullptr);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, &ace));
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
      ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      PSID sid = const_cast<DWORD*>(&allowed->SidStart);
      EXPECT_TRUE(IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) << i;
    }
  }

  RemoveWorkFolderIfEmpty();
  DeleteFileW((aside + L"\\marker.txt").c_str());
  RemoveDirectoryW(aside.c_str());
  EXPECT_FALSE(Exists(squatted));
}

}  // namespace
