#include "cli/cli_options.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>

namespace ovix {

namespace {

bool IsOption(const std::string& argument,
              const std::map<std::string, std::string TCliOptions::*>& valued) {
  static const char* const kFlags[] = {"--help",        "-h",      "--list-games",
                                       "--undo",        "--force", "--dry-run",
                                       "--keep-config", "--trust", "--undo-on-failure"};
  return valued.contains(argument) ||
         std::find(std::begin(kFlags), std::end(kFlags), argument) != std::end(kFlags);
}

// Options that ask for two things at once, or one that only means something beside another.
std::string Contradiction(const TCliOptions& options) {
  std::vector<std::string> modes;
  if (options.listGames) modes.push_back("--list-games");
  if (!options.check.empty()) modes.push_back("--check");
  if (options.undo) modes.push_back("--undo");
  if (options.dryRun) modes.push_back("--dry-run");
  if (modes.size() > 1) return modes[0] + " and " + modes[1] + " cannot be given together";
  if (options.force && !options.undo) return "--force only goes with --undo";
  if (options.undoOnFailure && !modes.empty()) {
    return "--undo-on-failure goes with an install, not with " + modes[0];
  }
  return {};
}

}  // namespace

std::optional<TCliOptions> ParseCliOptions(const std::vector<std::string>& arguments,
                                           std::string& error) {
  TCliOptions options;
  const std::map<std::string, std::string TCliOptions::*> valued = {
      {"--game-dir", &TCliOptions::gameDirectory},
      {"--version", &TCliOptions::versionItem},
      {"--config", &TCliOptions::configItem},
      {"--language", &TCliOptions::languageCode},
      {"--script", &TCliOptions::script},
      {"--service", &TCliOptions::serviceUrl},
      {"--check", &TCliOptions::check},
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--list-games") {
      options.listGames = true;
    } else if (argument == "--undo") {
      options.undo = true;
    } else if (argument == "--undo-on-failure") {
      options.undoOnFailure = true;
    } else if (argument == "--force") {
      options.force = true;
    } else if (argument == "--dry-run") {
      options.dryRun = true;
    } else if (argument == "--keep-config") {
      options.keepConfig = true;
    } else if (argument == "--trust") {
      if (i + 1 >= arguments.size()) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      options.trustFiles.push_back(arguments[++i]);
    } else if (const auto found = valued.find(argument); found != valued.end()) {
      // An option where its value belongs is a value forgotten, not a folder named so.
      if (i + 1 >= arguments.size() || IsOption(arguments[i + 1], valued)) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      options.*(found->second) = arguments[++i];
    } else {
      error = "unknown option " + argument;
      return std::nullopt;
    }
  }
  if (const std::string conflict = Contradiction(options); !conflict.empty()) {
    error = conflict;
    return std::nullopt;
  }
  return options;
}

std::string CliHelp() {
  return R"(Usage: ovix-updater-cli [options]

Installs or updates Ovix without a window, as a player would with the install
button: the game folder is found (or given), the chosen version's install script
is fetched from the update service and run. Status and percentage changes are
printed as they happen, and so is every message the window would show. A
question whether to try another folder is answered No.

Options:
  --game-dir DIR     the game folder, holding worldoftanks.exe (a Windows path,
                     such as C:\Games\World_of_Tanks, or on Linux a folder of
                     this system, reached through the Wine prefix it is in);
                     without it the folder is searched for as the window does
                     at start-up
  --list-games       list every game client found, one a line, tab-separated:
                     its folder, its version, its Wine prefix (or -) and its
                     Windows path in that prefix; installs nothing
  --version NAME     the version to install, as the version list names it;
                     default: the list's first item
  --config NAME      the configuration preset, as the preset list names it;
                     default: the default configuration
  --keep-config      keep the installed configuration file
  --language CODE    the language of texts and status lines: en, fr, de, pl,
                     ru, ua, hu, fi, nl or es; default: from the locale
  --script FILE|URL  run this script file, or the script at this address,
                     instead of the update service's; on Linux a file may also
                     be named by its Linux path
  --service URL      the update service's address; default: the environment
                     variable OVIX_UPDATE_URL, else the built-in address
  --trust KEY.pub    trust signatures by this minisign public key (a key file
                     as minisign -G writes it); may be given more than once.
                     With a trusted key (also one built in), the service's
                     lists and install script count only when signed by one:
                     each answer's signature is fetched from its address with
                     .minisig added
  --check FILE|URL   install nothing: check this script, as a script's author
                     would, and print each finding as FILE:LINE: message (words
                     the scan ignores, lines it drops, blocks that do not close
                     or end the script, unknown STATUS languages, PERCENT values
                     that are no integer from 0 to 100, wrong numbers of
                     arguments, addresses that are not http or https, places
                     outside the game folder and the temporary folder). The
                     placeholders stand for what --game-dir, --config and
                     --keep-config would give, or for example values (the game
                     in C:\Games\World_of_Tanks, client 1.24.1.0); %CUSTOMCONFIG%
                     stands for the --config name, @SERVICE_URL@ (which the
                     service kit fills in) for the service's address. Exit
                     status 0 without findings, 1 with, 2 when the script
                     cannot be read
  --dry-run          install nothing: run the whole install, the script too,
                     but change nothing on disk and print, as "dry run: ...",
                     each action the script would take in order: each GETFILE's
                     address, asked for its size only, and whether it answers;
                     each file and folder each UNPACK would write or make (read
                     from the archive's directory: an archive an earlier
                     GETFILE would fetch is fetched to a scratch file for that
                     look); what COPY, DELETE and DELETEDIR would touch; which
                     blocks would run or be skipped, and why. Exit status as
                     the install would end
  --undo             install nothing: put the game folder back as it was before
                     its last install (run again, one install further back, as
                     far as the kept journals of the last three installs reach);
                     refused while the game's client runs, and when a file the
                     install wrote was changed since
  --force            with --undo: also over files changed since the install
  --undo-on-failure  undo an install at once when it ends in an error or a
                     failed download; the exit status stays 1
  --help             this text

Every status and percentage line is printed as the script performs it, every
failed download with its address, and a warning for each file action of the
script that left something undone: a COPY whose source is missing, a DELETE or
DELETEDIR that could not delete, an archive member UNPACK skipped, a failure
that an IF_EXISTS or IF_NEXISTS block caught. Texts from the script or the
service are printed with control characters escaped.

Every install keeps a journal of what it changed in the game folder, and the
originals, in the user's data folder (on Linux $XDG_DATA_HOME/ovix-updater, by
default ~/.local/share/ovix-updater; on Windows %LOCALAPPDATA%\Ovix Updater).

Exit status: 0 when the install ran to its end without a download failure, an
error or a warning; 1 when it did not run to its end, a download failed, a list
was refused as not signed by a trusted key, or another install or undo of the
same game folder runs; 2 for a mistake on the command line (also a --game-dir
without worldoftanks.exe, and options that contradict each other, such as
--undo with --dry-run); 3 when it finished with warnings. With --undo: 0 when
undone, 1 when not.
On Linux the game is searched for in the Wine prefix in WINEPREFIX, in Steam's
libraries (Proton), and in the prefixes of Lutris, Bottles, PortProton and
~/.wine; the first client found is used, and Windows paths, the script's among
them, resolve through its prefix.
)";
}

}  // namespace ovix
