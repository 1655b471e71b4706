// Replacing and removing installed files, also while they are in use: the
// aside name, the deletion at the next restart, attributes carried over, and
// the old file kept whenever the new one cannot be put in its place.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win32_raii.h"
#include "payload/install_files.h"
#include "payload/portable/sha256.h"
#include "payload/verified_file.h"

namespace {

constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);

PayloadDigest DigestOf(const std::string& content) {
  PayloadDigest digest;
  digest.expandedSize = static_cast<std::uint32_t>(content.size());
  Sha256 hash;
  hash.Update(content.data(), content.size());
  digest.sha256 = hash.Finish();
  return digest;
}
const PayloadDigest kNew = DigestOf("new contents");

// `content` as SZDD data of literals only, which any expander must take.
std::string Packed(const std::string& content) {
  std::string packed("SZDD\x88\xF0\x27\x33\x41\x00", 10);
  for (int shift = 0; shift < 32; shift += 8) packed += static_cast<char>(content.size() >> shift);
  for (size_t i = 0; i < content.size(); i += 8) {
    packed += '\xFF';
    packed += content.substr(i, 8);
  }
  return packed;
}

// The payload of a row, held in memory as the program holds its resources.
struct Payload {
  explicit Payload(const std::string& content) : packed(Packed(content)) {
    file.data = packed.data();
    file.size = packed.size();
    SYSTEMTIME built{2013, 9, 0, 11, 2, 0, 0, 0};
    SystemTimeToFileTime(&built, &file.time);
  }
  Payload(const Payload&) = delete;  // `file` points into `packed`
  Payload& operator=(const Payload&) = delete;
  std::string packed;
  PayloadFile file;
};

std::string ReadAll(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  std::string data(GetFileSize(file.Get(), nullptr), '\0');
  DWORD read = 0;
  if (!ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) return std::string();
  data.resize(read);
  return data;
}

class FileReplacement : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"replacement-test\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    destination_ = folder_ + L"core-ui.dll";
    Write(destination_, "old contents");
  }
  void TearDown() override {
    for (const std::wstring& name : FolderEntries()) {
      SetFileAttributesW((folder_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((folder_ + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }

  static void Write(const std::wstring& path, const std::string& content) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    DWORD written = 0;
    WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  }
  static std::string Read(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<unreadable>";
    char buffer[256];
    DWORD read = 0;
    ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr);
    return std::string(buffer, read);
  }
  // Holds the file open as another program would, with the given sharing.
  static UniqueFileHandle Hold(const std::wstring& path, DWORD share) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  std::vector<std::wstring> FolderEntries() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((folder_ + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
  }
  std::vector<std::wstring> AsideFiles() const {
    std::vector<std::wstring> aside;
    for (const std::wstring& name : FolderEntries()) {
      if (name.rfind(L"core-ui.dll.tmp.", 0) == 0) aside.push_back(folder_ + name);
    }
    return aside;
  }
  // The files Windows is to delete at the next restart.
  static std::wstring PendingRenames() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS) {
      return L"";
    }
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
      return L"";
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE*>(text.data()), &size);
    for (wchar_t& c : text) c = c == L'\0' ? L'|' : c;  // the list's separators, made visible
    return text;
  }

  const Payload source_{"new contents"};
  std::wstring folder_, destination_;
};

TEST_F(FileReplacement, FreeFileIsOverwritten) {
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), kNew), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  EXPECT_TRUE(AsideFiles().empty());
}

TEST_F(FileReplacement, ReadOnlyHiddenFileIsReplacedAndStaysSo) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), kNew), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  const DWORD attributes = GetFileAttributesW(destination_.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  // The build's time of the file, not the time of the writing.
  UniqueFileHandle file(CreateFileW(destination_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  FILETIME written{};
  ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &written));
  EXPECT_EQ(CompareFileTime(&written, &source_.file.time), 0);
}

TEST_F(FileReplacement, FileInUseIsMovedAsideAndReplaced) {
  // Open as a running program's image is: readable, renamable, not writable.
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ | FILE_SHARE_DELETE);
  ASSERT_TRUE(held.Valid());
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), kNew), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  const auto aside = AsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(Read(aside[0]), "old contents");
  const std::wstring leaf = aside[0].substr(folder_.size());
  EXPECT_NE(PendingRenames().find(leaf), std::wstring::npos) << "not scheduled for deletion";
}

TEST_F(FileReplacement, LoadedLibraryIsReplaced) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), destination_.c_str(), FALSE));
  const HMODULE library = LoadLibraryW(destination_.c_str());
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), kNew), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  EXPECT_EQ(AsideFiles().size(), 1u);
  FreeLibrary(library);
}

TEST_F(FileReplacement, FileThatCannotEvenBeRenamedStopsWithSharingViolation) {
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ);
  ASSERT_TRUE(held.Valid());
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), kNew), kSharingViolation);
  EXPECT_EQ(Read(destination_), "old contents");
  EXPECT_TRUE(AsideFiles().empty());
}

TEST_F(FileReplacement, PayloadThatDoesNotExpandLeavesTheInstalledFileWithoutScheduledDeletion) {
  Payload cut("new contents");
  cut.file.size -= 3;  // the data ends before its declared length
  const std::wstring pendingBefore = PendingRenames();
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ | FILE_SHARE_DELETE);  // in use, too
  EXPECT_EQ(OverwriteInstalledFile(cut.file, destination_.c_str(), kNew), static_cast<HRESULT>(0x8007006E));
  EXPECT_EQ(Read(destination_), "old contents");
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"core-ui.dll"});  // no aside, no new file
  EXPECT_EQ(PendingRenames(), pendingBefore) << "the old file would be deleted at the next restart";
}

TEST_F(FileReplacement, ContentThatDoesNotMatchItsDigestIsNeverPutInPlace) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), DigestOf("new contentz")), kDigestMismatch);
  PayloadDigest longer = kNew;
  longer.expandedSize += 1;  // same bytes, other size
  EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), longer), kDigestMismatch);
  // Also while in use: nothing is moved aside for a copy that fails its check.
  {
    UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_EQ(OverwriteInstalledFile(source_.file, destination_.c_str(), DigestOf("x")), kDigestMismatch);
  }
  EXPECT_EQ(Read(destination_), "old contents");
  EXPECT_EQ(GetFileAttributesW(destination_.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"core-ui.dll"});  // no temporary file left
}

TEST_F(FileReplacement, OtherFailuresAreReturnedAsTheyAre) {
  const std::wstring noFolder = folder_ + L"no-such-folder\\core-ui.dll";
  EXPECT_EQ(OverwriteInstalledFile(source_.file, noFolder.c_str(), kNew), static_cast<HRESULT>(0x80070003));
}

TEST_F(FileReplacement, RemovalOfFreeAndReadOnlyFiles) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(RemoveInstalledFile(destination_.c_str()), S_OK);
  EXPECT_EQ(GetFileAttributesW(destination_.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(RemoveInstalledFile(destination_.c_str()), static_cast<HRESULT>(0x80070002));
}

TEST_F(FileReplacement, RemovalOfAFileHeldWithoutDeleteSharingFails) {
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ);
  ASSERT_TRUE(held.Valid());
  EXPECT_EQ(RemoveInstalledFile(destination_.c_str()), kSharingViolation);
  EXPECT_EQ(Read(destination_), "old contents");
}

}  // namespace

namespace {

// A destination on a volume without room for the new file: the write of the
// copy fails half-way, and the installed file must come through untouched.
// wine.full_volume runs this with UPDATER_SMALL_VOLUME naming a folder on a
// small, nearly full volume that holds core-ui.dll.
TEST(FullVolume, FailedWriteLeavesTheInstalledFileAndNoTemporaryFile) {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"UPDATER_SMALL_VOLUME", folder, MAX_PATH) == 0) {
    GTEST_SKIP() << "needs UPDATER_SMALL_VOLUME, a folder on a nearly full volume (wine.full_volume)";
  }
  const std::wstring destination = std::wstring(folder) + L"\\core-ui.dll";
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(folder, &free, nullptr, nullptr));
  const std::string before = ReadAll(destination);
  ASSERT_FALSE(before.empty());

  // Larger than the room left, and larger than the installed file.
  const std::string content(static_cast<size_t>(free.QuadPart) + before.size() + 65536, 'n');
  const Payload source(content);
  EXPECT_EQ(OverwriteInstalledFile(source.file, destination.c_str(), DigestOf(content)),
            HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_TRUE(ReadAll(destination) == before) << "the installed file changed";
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"core-ui.dll", L"filler.bin"})) << "a temporary file stayed";
}

}  // namespace
