#include "lang/languages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "os/text.h"
#include "ovix_version.h"

namespace ovix {
namespace {

constexpr TLanguage kAllLanguages[] = {lngEN, lngFR, lngDE, lngPL, lngRU,
                                       lngUA, lngHU, lngFI, lngNL, lngES};

std::string Where(std::size_t entry, TLanguage language) {
  return std::string(kCatalogueNames[entry]) + "[" + std::to_string(language) + "]";
}

TEST(CatalogueTest, EveryEntryHasValidTextInEveryLanguage) {
  ASSERT_EQ(std::size(kAllLanguages), static_cast<std::size_t>(kLanguageCount));
  std::set<const TCatalogueEntry*> distinct(kCatalogue.begin(), kCatalogue.end());
  EXPECT_EQ(distinct.size(), kCatalogue.size());
  EXPECT_EQ(std::set<std::string_view>(kCatalogueNames.begin(), kCatalogueNames.end()).size(),
            kCatalogueNames.size());
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    ASSERT_NE(kCatalogue[i], nullptr) << kCatalogueNames[i];
    for (const TLanguage language : kAllLanguages) {
      const std::string_view text = Text(*kCatalogue[i], language);
      EXPECT_FALSE(text.empty()) << Where(i, language);
      // Well-formed UTF-8 survives the trip to UTF-16 and back unchanged.
      EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text) << Where(i, language);
    }
  }
}

TEST(CatalogueTest, EntriesAndNamesKeepCatalogueOrder) {
  EXPECT_EQ(kCatalogue.front(), &txtLanguageCode);
  EXPECT_EQ(kCatalogue[3], &txtDirectoryNotDetected);
  EXPECT_EQ(kCatalogue[10], &txtDefault);
  EXPECT_EQ(kCatalogueNames[10], "txtDefault");
  EXPECT_EQ(kCatalogue[11], &txtStable);
  EXPECT_EQ(kCatalogue[20], &txtCurrentAction);
  EXPECT_EQ(kCatalogueNames[20], "txtCurrentAction");
  EXPECT_EQ(kCatalogue[21], &txtTitle);
  EXPECT_EQ(kCatalogueNames[21], "txtTitle");
  // Texts added since follow the original ones.
  EXPECT_EQ(kCatalogue[22], &txtOtherFolder);
  EXPECT_EQ(kCatalogueNames[25], "txtUndoNotDone");
  EXPECT_EQ(kCatalogueNames[26], "txtNotSigned");
  EXPECT_EQ(kCatalogueNames.back(), "txtGameFolderBusy");
}

TEST(CatalogueTest, LanguageCodesTagStatusLines) {
  const std::string_view expected[] = {"en", "fr", "de", "pl", "ru", "ua", "hu", "fi", "nl", "es"};
  for (const TLanguage language : kAllLanguages) {
    EXPECT_EQ(Text(txtLanguageCode, language), expected[language]);
  }
}

TEST(CatalogueTest, PrefixesEndWithExactlyOneBlank) {
  for (const TCatalogueEntry* entry : {&txtModVersion, &txtConfiguration, &txtCurrentAction}) {
    for (const TLanguage language : kAllLanguages) {
      const std::string_view text = Text(*entry, language);
      ASSERT_GE(text.size(), 2u);
      EXPECT_EQ(text.back(), ' ') << text;
      EXPECT_NE(text[text.size() - 2], ' ') << text;
    }
  }
}

TEST(CatalogueTest, OnlyTwoLineTextsBreakAndAlwaysWithCrLf) {
  const std::set<const TCatalogueEntry*> two_line = {&txtDirectoryNotDetected, &txtCloseClient,
                                                     &txtDirectoryCorrupted, &txtWarning};
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    for (const TLanguage language : kAllLanguages) {
      const std::string_view text = Text(*kCatalogue[i], language);
      int breaks = 0;
      for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') {
          ++breaks;
          ++k;
        } else {
          EXPECT_TRUE(text[k] != '\r' && text[k] != '\n')
              << "lone CR or LF in " << Where(i, language);
        }
      }
      EXPECT_EQ(breaks, two_line.count(kCatalogue[i]) != 0 ? 1 : 0) << Where(i, language);
      // A break at either end would show as an empty line.
      EXPECT_FALSE(text.starts_with("\r\n") || text.ends_with("\r\n")) << Where(i, language);
    }
  }
}

TEST(CatalogueTest, TitleCreditsTranslatorsOutsideEnglishAndFrench) {
  // The window's title names the project's version: a new version needs new titles.
  const std::string kPrefix = std::string(OVIX_PRODUCT_NAME) + " v" + OVIX_PRODUCT_VERSION + " ";
  for (const TLanguage language : kAllLanguages) {
    const std::string_view title = Text(txtTitle, language);
    ASSERT_TRUE(title.starts_with(kPrefix)) << title;
    const std::string_view credits = title.substr(kPrefix.size());
    const std::size_t open = credits.find('[');
    if (language == lngEN || language == lngFR) {
      EXPECT_EQ(open, std::string_view::npos) << title;
      EXPECT_FALSE(credits.empty() || credits.front() == ' ' || credits.back() == ' ') << title;
      continue;
    }
    ASSERT_NE(open, std::string_view::npos) << title;
    // "<author> [<translator>]": one bracketed credit at the end, one blank before it.
    EXPECT_GT(open, 1u) << title;
    EXPECT_EQ(credits[open - 1], ' ') << title;
    EXPECT_NE(credits[open - 2], ' ') << title;
    EXPECT_EQ(credits.find(']'), credits.size() - 1) << title;
    EXPECT_GT(credits.size() - open, 2u) << "empty translator credit: " << title;
    EXPECT_EQ(credits.find('[', open + 1), std::string_view::npos) << title;
  }
}

// UTF-16 expectations keep these independent of how the narrow literals were encoded.
TEST(CatalogueTest, NonAsciiTextsAreExact) {
  const auto wide = [](const TCatalogueEntry& entry, TLanguage language) {
    return Utf8ToUtf16(Text(entry, language));
  };
  EXPECT_EQ(wide(txtDefault, lngFR), u"Par d\u00e9faut");
  EXPECT_EQ(wide(txtStable, lngRU), u"Стабильная");
  EXPECT_EQ(wide(txtStable, lngUA), u"Стабільна");
  EXPECT_EQ(wide(txtModify, lngPL), u"Zmień");
  EXPECT_EQ(wide(txtInstallUpdate, lngUA), u"Інсталювати / Оновити");
  EXPECT_EQ(wide(txtConfiguration, lngHU), u"Konfiguráció: ");
  EXPECT_EQ(wide(txtCurrentAction, lngFI), u"Tämänhetkinen toimito: ");
  EXPECT_EQ(wide(txtRetryDirectory, lngES),
            u"No se puede detectar el juego en este directorio, ¿desea probar de nuevo?");
  EXPECT_EQ(wide(txtCloseClient, lngDE),
            u"Bitte schließe World of Tanks um mit\r\nder Ovix Installation/Update fortzufahren.");
  EXPECT_EQ(Text(txtDirectoryCorrupted, lngEN),
            "The installation directory is incorrect or corrupted.\r\n"
            "Unable to check \"res_mods\" directory content.");
  // Switching English to French turns the version placeholder into the same word.
  EXPECT_EQ(Text(txtStable, lngFR), "Stable");
  EXPECT_EQ(Text(txtStable, lngEN), "Stable");
}

TEST(CatalogueTest, OutOfRangeLanguageFallsBackToEnglish) {
  EXPECT_EQ(Text(txtDefault, static_cast<TLanguage>(kLanguageCount)), "Default");
  EXPECT_EQ(Text(txtOptions, static_cast<TLanguage>(255)), "Options:");
  EXPECT_EQ(Text(txtOptions, lngES), "Opciones:");  // the last valid language is no fallback
}

}  // namespace
}  // namespace ovix
