#pragma once
// For the authors of install scripts: the placeholders a script is run with, and the faults
// the scan would pass over in silence, found by the interpreter's own scan.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

// What a script's placeholders stand for when it runs.
struct TScriptValues {
  std::string temp;                       // %TEMP%
  std::string game;                       // %WOT%
  std::string clientVersion;              // %WOTVERSION%
  std::optional<std::string> oldVersion;  // %WOTOLDVERSION%; none: left as it stands
  std::optional<std::string> configFile;  // %CUSTOMCONFIG%; none: left as it stands
  bool customConfig = false;              // OPTIONcustomConfig
  bool keepConfig = false;                // OPTIONsaveConfig
};

void ReplacePlaceholders(std::string& script, const TScriptValues& values);

// Why a COPY, DELETE or DELETEDIR of the game folder, or of a folder holding it, is refused.
inline constexpr std::string_view kGameFolderItself =
    "this is the game folder itself or a folder holding it, so it is left alone";

// %WOTOLDVERSION% of an install into `game`: the next-to-last version folder under res_mods in
// text order (case-insensitive, character by character, so 0.9.10 comes before 0.9.9); none
// with fewer than two. Throws what listing the folders throws.
std::optional<std::string> PreviousVersionFolder(const std::string& game);

struct TScriptFinding {
  std::size_t line = 0;  // 1-based
  std::string message;
};

// The faults of a script whose placeholders `values` fills in, in line order: words the scan
// ignores, lines it drops, blocks that do not close or close too much, values the commands
// cannot use, addresses that are not http or https, and places written or deleted outside
// the game folder and the temporary folder. Every line is looked at, run or not.
std::vector<TScriptFinding> CheckScript(std::string_view script, const TScriptValues& values);

}  // namespace ovix
