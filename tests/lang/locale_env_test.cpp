#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "lang/locale.h"
#include "support/scoped_environment.h"

namespace ovix {
namespace {

// Clears the locale variables for one test and puts the caller's values back afterwards.
class LocaleEnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    lcAll_.Unset();
    lcCtype_.Unset();
    lang_.Unset();
  }

  ScopedEnvironment lcAll_{"LC_ALL"};
  ScopedEnvironment lcCtype_{"LC_CTYPE"};
  ScopedEnvironment lang_{"LANG"};
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
