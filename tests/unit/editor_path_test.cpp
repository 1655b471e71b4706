#include "payload/portable/editor_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EditorPath, PlainWhereItNamesTheSameFile) {
  EXPECT_EQ(PathForEditor(L"\\\\?\\C:\\Users\\a b\\AppData\\Local\\Temp\\updater.exe.tmp", L"Reg.reg"),
            L"C:\\Users\\a b\\AppData\\Local\\Temp\\updater.exe.tmp\\Reg.reg");
  EXPECT_EQ(PathForEditor(L"\\\\?\\UNC\\server\\share\\Temp\\updater.exe.tmp", L"Reg.reg"),
            L"\\\\server\\share\\Temp\\updater.exe.tmp\\Reg.reg");
  EXPECT_EQ(PathForEditor(L"\\\\?\\C:\\", L"Reg.reg"), L"C:\\Reg.reg");
}

TEST(EditorPath, LongFormWhereThePlainOneWouldNameAnotherEntry) {
  // The plain form drops a trailing dot or space: "Temp." would be read as "Temp".
  for (const wchar_t* folder : {L"\\\\?\\C:\\Users\\a\\Temp.\\updater.exe.tmp", L"\\\\?\\C:\\Users\\a\\Temp \\x",
                                L"\\\\?\\UNC\\server\\share.\\x"}) {
    EXPECT_EQ(PathForEditor(folder, L"Reg.reg"), std::wstring(folder) + L"\\Reg.reg");
  }
  // 260 characters and more are read only in the long form.
  const std::wstring longest = std::wstring(248, L'd');  // "C:\" + 248 + "\Reg.reg": 259
  EXPECT_EQ(PathForEditor(L"\\\\?\\C:\\" + longest, L"Reg.reg"), L"C:\\" + longest + L"\\Reg.reg");
  const std::wstring tooLong = L"\\\\?\\C:\\" + std::wstring(249, L'd');
  EXPECT_EQ(PathForEditor(tooLong, L"Reg.reg"), tooLong + L"\\Reg.reg");
  // A volume without a drive letter has no plain form.
  const std::wstring volume = L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\Temp";
  EXPECT_EQ(PathForEditor(volume, L"Reg.reg"), volume + L"\\Reg.reg");
}

}  // namespace
