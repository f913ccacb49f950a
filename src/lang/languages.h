#pragma once
// The message catalogue: every text the program shows, in ten languages. Data only; the
// texts are UTF-8 and never change while the program runs.

#include <array>
#include <cstdint>
#include <string_view>

namespace ovix {

// The order is shared by the catalogue, the language picker's items and its flag images.
enum TLanguage : std::uint8_t {
  lngEN,  // English
  lngFR,  // French
  lngDE,  // German
  lngPL,  // Polish
  lngRU,  // Russian
  lngUA,  // Ukrainian
  lngHU,  // Hungarian
  lngFI,  // Finnish
  lngNL,  // Dutch
  lngES,  // Spanish
};
inline constexpr int kLanguageCount = 10;
inline constexpr int kCatalogueSize = 28;

// One text per language, indexed by TLanguage.
using TCatalogueEntry = std::array<std::string_view, kLanguageCount>;

extern const TCatalogueEntry txtLanguageCode;  // tag of the install script's status lines
extern const TCatalogueEntry txtSelectDirectory;
extern const TCatalogueEntry txtRetryDirectory;
extern const TCatalogueEntry txtDirectoryNotDetected;
extern const TCatalogueEntry txtCloseClient;
extern const TCatalogueEntry txtDirectoryCorrupted;
extern const TCatalogueEntry txtDownloadingScript;
extern const TCatalogueEntry txtCollectingInfo;
extern const TCatalogueEntry txtDownloadError;
extern const TCatalogueEntry txtScriptForced;
extern const TCatalogueEntry txtDefault;  // placeholder item of the configuration box
extern const TCatalogueEntry txtStable;   // placeholder item of the version box
extern const TCatalogueEntry txtWarning;
extern const TCatalogueEntry txtOptions;
extern const TCatalogueEntry txtProgress;
extern const TCatalogueEntry txtInstallUpdate;
extern const TCatalogueEntry txtModify;
extern const TCatalogueEntry txtKeepConfig;
// The three prefixes end with a blank: it is the only gap between a label and its box.
extern const TCatalogueEntry txtModVersion;
extern const TCatalogueEntry txtConfiguration;
extern const TCatalogueEntry txtCurrentAction;
extern const TCatalogueEntry txtTitle;
// The last item of Modify's list of clients, where clients live in Wine prefixes.
extern const TCatalogueEntry txtOtherFolder;
// Undoing an install: the question after one that failed or never ended, and the outcomes.
extern const TCatalogueEntry txtUndoInstall;
extern const TCatalogueEntry txtUndoDone;
extern const TCatalogueEntry txtUndoNotDone;
extern const TCatalogueEntry txtNotSigned;
// A second instance, or the console program, meets an install or undo of the folder running.
extern const TCatalogueEntry txtGameFolderBusy;

// Every entry in catalogue order, and the entries' names in the same order.
extern const std::array<const TCatalogueEntry*, kCatalogueSize> kCatalogue;
extern const std::array<std::string_view, kCatalogueSize> kCatalogueNames;

// The entry's text in the language. A language outside lngEN..lngES can only come from a
// bad cast; it gets the English text rather than a read past the entry.
std::string_view Text(const TCatalogueEntry& entry, TLanguage language);

}  // namespace ovix
