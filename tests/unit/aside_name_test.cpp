#include "base/portable/aside_name.h"

#include <gtest/gtest.h>

namespace {

TEST(AsideName, PathProcessAndTicks) {
  EXPECT_EQ(AsideName(L"C:\\P\\core-ui.dll", 1234, 987654), L"C:\\P\\core-ui.dll.tmp.1234-987654");
  // Ticks past 2^31 print negative, as the signed format writes them.
  EXPECT_EQ(AsideName(L"a", 8, 0x80000000u), L"a.tmp.8--2147483648");
  EXPECT_EQ(AsideName(L"\\\\?\\C:\\long", 0, 0), L"\\\\?\\C:\\long.tmp.0-0");
}

}  // namespace
