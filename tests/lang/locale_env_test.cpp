#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "lang/locale.h"

namespace ovix {
namespace {

// Clears the locale variables for one test and puts the caller's values back afterwards.
class LocaleEnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      const char* value = getenv(kNames[i]);
      if (value != nullptr) saved_[i] = value;
      unsetenv(kNames[i]);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }

  static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::optional<std::string> saved_[std::size(kNames)];
};

TEST_F(LocaleEnvironmentTest, NothingSetGivesUsEnglish) {
  EXPECT_EQ(UserDefaultLocaleId(), 0x0409u);
  EXPECT_EQ(UserDefaultLanguage(), lngEN);
}

TEST_F(LocaleEnvironmentTest, MoreSpecificVariablesWin) {
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(UserDefaultLocaleId(), 0x0407u);
  setenv("LC_CTYPE", "fr_CA.UTF-8", 1);
  EXPECT_EQ(UserDefaultLocaleId(), 0x0C0Cu);
  setenv("LC_ALL", "uk_UA.UTF-8", 1);
  EXPECT_EQ(UserDefaultLocaleId(), 0x0422u);
  EXPECT_EQ(UserDefaultLanguage(), lngUA);
  unsetenv("LC_CTYPE");
  EXPECT_EQ(UserDefaultLocaleId(), 0x0422u);
}

TEST_F(LocaleEnvironmentTest, EmptyVariablesCountAsUnset) {
  setenv("LC_ALL", "", 1);
  setenv("LC_CTYPE", "", 1);
  setenv("LANG", "pl_PL.UTF-8", 1);
  EXPECT_EQ(UserDefaultLocaleId(), 0x0415u);
  setenv("LC_CTYPE", "hu_HU", 1);
  EXPECT_EQ(UserDefaultLocaleId(), 0x040Eu);
  EXPECT_EQ(UserDefaultLanguage(), lngHU);
}

TEST_F(LocaleEnvironmentTest, CLocaleInFrontHidesLang) {
  setenv("LC_ALL", "C", 1);
  setenv("LANG", "ru_RU.UTF-8", 1);
  EXPECT_EQ(UserDefaultLanguage(), lngEN);
}

}  // namespace
}  // namespace ovix
