#include "applicability/portable/translation_choice.h"

#include <gtest/gtest.h>

namespace {

const std::vector<Translation> kCatalogue = {{1041, 1200}, {1031, 1200}, {1033, 1200}, {2052, 1200}};

TEST(DescriptionLanguage, UserThenSystemThenEnglish) {
  EXPECT_EQ(ChooseDescriptionLanguage(kCatalogue, 1041, 1031), 1041);
  EXPECT_EQ(ChooseDescriptionLanguage(kCatalogue, 1045, 1031), 1031);
  EXPECT_EQ(ChooseDescriptionLanguage(kCatalogue, 1045, 1049), 1033);
  EXPECT_EQ(ChooseDescriptionLanguage({}, 1041, 1041), 1033);
}

TEST(DescriptionLanguage, OnlyUnicodeEntriesCount) {
  const std::vector<Translation> mixed = {{1041, 932}, {1031, 1200}};
  EXPECT_EQ(ChooseDescriptionLanguage(mixed, 1041, 1031), 1031);
  EXPECT_EQ(ChooseDescriptionLanguage(mixed, 1041, 1041), 1033);
}

}  // namespace
