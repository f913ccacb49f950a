#include "lang/locale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

namespace ovix {
namespace {

TEST(LanguageFromLocaleIdTest, RegionalVariantsMapToTheirLanguage) {
  EXPECT_EQ(LanguageFromLocaleId(0x040C), lngFR);      // France
  EXPECT_EQ(LanguageFromLocaleId(0x0C0C), lngFR);      // Canada
  EXPECT_EQ(LanguageFromLocaleId(0x100C), lngFR);      // Switzerland
  EXPECT_EQ(LanguageFromLocaleId(0x040A), lngES);      // Spain, traditional sort
  EXPECT_EQ(LanguageFromLocaleId(0x0C0A), lngES);      // Spain, modern sort
  EXPECT_EQ(LanguageFromLocaleId(0x080A), lngES);      // Mexico
  EXPECT_EQ(LanguageFromLocaleId(0x0C07), lngDE);      // Austria
  EXPECT_EQ(LanguageFromLocaleId(0x0813), lngNL);      // Belgium
  EXPECT_EQ(LanguageFromLocaleId(0x00010407), lngDE);  // sort-order bits above the region
}

TEST(LanguageFromLocaleIdTest, EachLanguagesOwnLocale) {
  const std::pair<std::uint32_t, TLanguage> cases[] = {
      {0x0409, lngEN}, {0x040C, lngFR}, {0x0407, lngDE}, {0x0415, lngPL}, {0x0419, lngRU},
      {0x0422, lngUA}, {0x040E, lngHU}, {0x040B, lngFI}, {0x0413, lngNL}, {0x0C0A, lngES},
  };
  for (const auto& [lcid, language] : cases) {
    EXPECT_EQ(LanguageFromLocaleId(lcid), language) << std::hex << lcid;
  }
}

TEST(LanguageFromLocaleIdTest, OtherLocalesGiveEnglish) {
  EXPECT_EQ(LanguageFromLocaleId(0x0809), lngEN);  // English (United Kingdom)
  EXPECT_EQ(LanguageFromLocaleId(0x0410), lngEN);  // Italian
  EXPECT_EQ(LanguageFromLocaleId(0x0416), lngEN);  // Portuguese (Brazil)
  EXPECT_EQ(LanguageFromLocaleId(0x0423), lngEN);  // Belarusian, next to Ukrainian
  // The custom default locale: second byte 0x0C, but the low byte decides.
  EXPECT_EQ(LanguageFromLocaleId(0x0C00), lngEN);
  EXPECT_EQ(LanguageFromLocaleId(0), lngEN);
  EXPECT_EQ(LanguageFromLocaleId(0xFFFFFFFF), lngEN);
}

TEST(LocaleIdFromPosixNameTest, RegionsOfTheTenLanguages) {
  const std::pair<std::string_view, std::uint32_t> cases[] = {
      {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
      {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
      {"fr_LU", 0x140C}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07},
      {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"pl_PL", 0x0415}, {"ru_RU", 0x0419},
      {"ru_MD", 0x0819}, {"uk_UA", 0x0422}, {"hu_HU", 0x040E}, {"fi_FI", 0x040B},
      {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
      {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_US", 0x540A}, {"es_419", 0x580A},
  };
  for (const auto& [name, lcid] : cases) {
    EXPECT_EQ(LocaleIdFromPosixName(name), lcid) << name;
  }
}

TEST(LocaleIdFromPosixNameTest, OtherLanguages) {
  const std::pair<std::string_view, std::uint32_t> cases[] = {
      {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
      {"sv_SE", 0x041D}, {"sv_FI", 0x081D}, {"cs_CZ", 0x0405}, {"sk_SK", 0x041B},
      {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
      {"tr_TR", 0x041F}, {"be_BY", 0x0423}, {"nb_NO", 0x0414}, {"nn_NO", 0x0814},
  };
  for (const auto& [name, lcid] : cases) {
    EXPECT_EQ(LocaleIdFromPosixName(name), lcid) << name;
  }
}

TEST(LocaleIdFromPosixNameTest, CodesetModifierAndCaseAreIgnored) {
  EXPECT_EQ(LocaleIdFromPosixName("fr_CA.UTF-8"), 0x0C0Cu);
  EXPECT_EQ(LocaleIdFromPosixName("de_DE@euro"), 0x0407u);
  EXPECT_EQ(LocaleIdFromPosixName("de_AT@euro"), 0x0C07u);
  EXPECT_EQ(LocaleIdFromPosixName("de_AT.ISO-8859-15@euro"), 0x0C07u);
  EXPECT_EQ(LocaleIdFromPosixName("FR_ca.utf8"), 0x0C0Cu);
  EXPECT_EQ(LocaleIdFromPosixName("fr-CA"), 0x0C0Cu);
  EXPECT_EQ(LocaleIdFromPosixName("uk_UA.UTF-8"), 0x0422u);
  EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("uk_UA.UTF-8")), lngUA);
}

TEST(LocaleIdFromPosixNameTest, MissingOrUnknownRegionGivesDefaultSublanguage) {
  EXPECT_EQ(LocaleIdFromPosixName("fr"), 0x040Cu);
  EXPECT_EQ(LocaleIdFromPosixName("fr_"), 0x040Cu);
  EXPECT_EQ(LocaleIdFromPosixName("fr_ZZ.UTF-8"), 0x040Cu);
  EXPECT_EQ(LocaleIdFromPosixName("es_XX"), 0x040Au);
  EXPECT_EQ(LocaleIdFromPosixName("ru_UA"), 0x0419u);  // a language outside its usual country
  EXPECT_EQ(LocaleIdFromPosixName("de_CH_extra"), 0x0407u);
}

TEST(LocaleIdFromPosixNameTest, UnknownOrMalformedNamesGiveUsEnglish) {
  for (const std::string_view name :
       {"", "C", "POSIX", "C.UTF-8", ".UTF-8", "@euro", "_FR", "12_34", "x", "english", "xx_YY",
        "sr_RS@latin", "fr\xC3\xA9_FR", "\xC3\xA9t_FR", "f r_FR", "ua_UA"}) {
    EXPECT_EQ(LocaleIdFromPosixName(name), 0x0409u) << '"' << name << '"';
  }
}

}  // namespace
}  // namespace ovix
