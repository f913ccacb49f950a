#pragma once
// The unattended front end's command line: what a player would otherwise click.

#include <optional>
#include <string>
#include <vector>

namespace ovix {

struct TCliOptions {
  bool help = false;
  bool listGames = false;     // list the clients found instead of installing
  std::string gameDirectory;  // empty: searched for as at start-up
  std::string versionItem;    // empty: the version list's first item
  std::string configItem;     // empty: the default configuration
  bool keepConfig = false;
  bool undo = false;           // put the game folder back as it was before the last install
  bool undoOnFailure = false;  // undo an install that fails at once
  bool force = false;          // undo even over files changed since the install
  std::string languageCode;    // empty: from the locale
  std::string script;          // a script file or address instead of the service's
  std::string serviceUrl;      // empty: OVIX_UPDATE_URL, else the built-in address
  bool dryRun = false;         // the install told, not made
  std::string check;           // a script file or address to check instead of installing
  std::vector<std::string> trustFiles;  // public key files trusted beside the built-in keys
};

// The options, or nullopt with `error` saying what is wrong.
std::optional<TCliOptions> ParseCliOptions(const std::vector<std::string>& arguments,
                                           std::string& error);

// The text --help prints.
std::string CliHelp();

}  // namespace ovix
