// The install list on this PC: the base folders of both platforms, the
// selection by existence and by the installed file's version.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "payload/install_list.h"

namespace {

std::wstring Special(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

class InstallListOnThisPc : public testing::Test {
 protected:
  void SetUp() override {
    app_ = Special(CSIDL_PROGRAM_FILESX86) + L"\\Orvane\\Mirevo\\";
    velk_ = Special(CSIDL_PROGRAM_FILES_COMMONX86) + L"\\Orvane Shared\\QVLLib\\Orvane.Velk\\";
    SHCreateDirectoryExW(nullptr, app_.c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, velk_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::wstring& file : {app_ + L"core-ui.dll", velk_ + L"render-engine.dll", app_ + L"Travio.exe"}) {
      DeleteFileW(file.c_str());
    }
    RemoveDirectoryW((app_ + L"Travio.exe").c_str());
  }
  static void PlainFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  // A file with a version resource: this test program, version 2.2.3.4170.
  static void VersionedFile(const std::wstring& path) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    ASSERT_TRUE(CopyFileW(own, path.c_str(), FALSE));
  }
  std::wstring app_, velk_;
};

TEST_F(InstallListOnThisPc, NothingInstalledIsMinusOne) {
  InstallList list(1);
  EXPECT_EQ(BuildInstallList(list), -1);
  EXPECT_TRUE(list.empty());
}

TEST_F(InstallListOnThisPc, SelectsByExistenceAndVersion) {
  PlainFile(app_ + L"core-ui.dll");             // no version resource: always selected
  VersionedFile(velk_ + L"render-engine.dll");  // 2.2.3.4170 within 0.0.0.0..3.0.2.8159
  CreateDirectoryW((app_ + L"Travio.exe").c_str(), nullptr);  // a folder of that name: never
  InstallList list;
  ASSERT_EQ(BuildInstallList(list), 2);
  EXPECT_EQ(list[0].resourceId, 401);
  EXPECT_EQ(list[0].fileName, app_ + L"core-ui.dll");
  EXPECT_EQ(list[1].resourceId, 470);
  EXPECT_EQ(list[1].fileName, velk_ + L"render-engine.dll");
}

TEST_F(InstallListOnThisPc, VersionAboveTheWindowIsLeftAlone) {
  VersionedFile(app_ + L"core-ui.dll");  // 2.2.3.4170 above 0.0.0.0..2.1.3.65535
  InstallList list;
  EXPECT_EQ(BuildInstallList(list), -1);
}

}  // namespace
