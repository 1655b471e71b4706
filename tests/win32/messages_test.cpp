// The message catalogue as the resource loader gives it (English UI).
#include <windows.h>

#include <gtest/gtest.h>

#include "base/messages.h"
#include "base/module_state.h"

namespace {

class Messages : public testing::Test {
 protected:
  void SetUp() override { SetModuleInstance(GetModuleHandleW(nullptr)); }
};

TEST_F(Messages, LoadsTextsOfEveryBlock) {
  EXPECT_EQ(LoadMessage(200), L"Mirevo");
  EXPECT_EQ(LoadMessage(1201), L"Another instance of this update program is already running.");
  EXPECT_EQ(LoadMessage(1230), L"Now processing...\nPlease wait for a while.");
  EXPECT_EQ(LoadMessage(206),
            L"The INTERNET CONTENT function of Mirevo is no longer available due to service termination.");
}

TEST_F(Messages, AbsentIdentifiersGiveEmptyText) {
  EXPECT_EQ(LoadMessage(205), L"");   // Japanese only
  EXPECT_EQ(LoadMessage(201), L"");   // a gap in a present block
  EXPECT_EQ(LoadMessage(1247), L"");  // a block the catalogue does not have
  EXPECT_EQ(LoadMessage(60000), L"");
}

TEST_F(Messages, FailureMessageCarriesTheCode) {
  EXPECT_EQ(FormatMessageWithCode(1213, 0x80004005u), L"Package Update Failed.\r\n(code = 0x80004005)");
  EXPECT_EQ(FormatMessageWithCode(1213, 0x80070002u), L"Package Update Failed.\r\n(code = 0x80070002)");
}

}  // namespace
