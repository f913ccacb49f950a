// The console front end, for unattended installs: the install part with the terminal as its
// view. It does what a player would click and prints what the window would show.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_platform.h"
#include "cli/console_install.h"
#include "game/clients.h"
#include "game/discovery.h"
#include "game/probes.h"
#include "install/install_log.h"
#include "install/script_check.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/text.h"
#include "script/install_journal.h"
#include "trust/minisign.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kKitServicePlaceholder = "@SERVICE_URL@";

// Long enough for a slow service, short enough not to hang an unattended job.
constexpr auto kListDeadline = 60s;

std::optional<TLanguage> LanguageByCode(const std::string& code) {
  for (int i = 0; i < kLanguageCount; ++i) {
    const auto language = static_cast<TLanguage>(i);
    if (Text(txtLanguageCode, language) == code) return language;
  }
  return std::nullopt;
}

// Every client found, one a line: folder, version, prefix, Windows path.
int ListGames() {
  std::vector<TGameClient> clients = FindGameClients();
  if constexpr (!kClientsLiveInPrefixes) {
    if (const std::string folder = SearchGameDirectory(); !folder.empty()) {
      clients.push_back({folder, GetFileVersionString(folder + "\\worldoftanks.exe"), "", folder});
    }
  }
  const auto field = [](const std::string& text) { return text.empty() ? "-" : text.c_str(); };
  for (const TGameClient& client : clients) {
    std::printf("%s\t%s\t%s\t%s\n", client.folder.c_str(), field(client.version),
                field(client.prefix), client.windowsPath.c_str());
  }
  if (clients.empty()) std::fprintf(stderr, "ovix-updater-cli: no game client found\n");
  return 0;
}

bool IsDrivePath(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// The game folder to install into, in Windows form, its client's prefix made the one in force;
// empty when none was given or found. nullopt, after saying why, for a folder without a client.
std::optional<std::string> ChooseGameFolder(const std::string& given) {
  if (given.empty()) {
    if constexpr (kClientsLiveInPrefixes) {
      // Searched here rather than by the window, so that the script's path resolves through
      // the prefix of the client it installs into.
      const std::vector<TGameClient> clients = FindGameClients();
      if (clients.empty()) return std::string();
      UseClientPrefix(clients.front());
      return clients.front().windowsPath;
    }
    return std::string();
  }
  if (kClientsLiveInPrefixes && !IsDrivePath(given)) {
    if (const std::optional<TGameClient> client = ClientAt(given, {})) {
      UseClientPrefix(*client);
      return client->windowsPath;
    }
  } else if (IsGameDirectory(given)) {
    // Checked as a picked folder is; a given folder also spares the search, which would race
    // with it for the version list.
    return given;
  }
  std::fprintf(stderr,
               "ovix-updater-cli: \"%s\" holds no worldoftanks.exe: it is not the game's folder\n",
               given.c_str());
  return std::nullopt;
}

int Undo(const std::string& gameFolder, bool force) {
  if (gameFolder.empty()) {
    std::fprintf(stderr, "ovix-updater-cli: no game folder to undo an install in\n");
    return 1;
  }
  std::printf("game folder: %s\n", gameFolder.c_str());
  if (IsProcessRunning("worldoftanks.exe")) {
    PrintLine("undo", "refused: the game's client runs; close it first");
    return 1;
  }
  const std::optional<std::filesystem::path> data = UserDataFolder();
  const std::optional<std::filesystem::path> game = LocalPath(gameFolder);
  if (!data || !game) {
    std::fprintf(stderr, "ovix-updater-cli: the folders of the undo cannot be found\n");
    return 1;
  }
  bool busy = false;
  const std::optional<TFileLock> hold = LockGameFolder(*data, *game, busy);
  if (busy) {
    PrintLine("undo", "refused: another install or undo of this game folder runs");
    return 1;
  }
  const TUndoReport report = UndoLastInstall(*data, *game, force);
  PrintUndo(report);
  TInstallLog log(*data);
  LogUndo(log, gameFolder, report);
  std::printf("log: %s\n", log.Path().string().c_str());
  return report.result == TUndoResult::Undone ? 0 : 1;
}

// The script's text, from a file or an address; nullopt, after saying why, when it cannot be read.
std::optional<std::string> ReadScriptText(const std::string& source) {
  std::optional<std::string> bytes;
  if (CheckAddressScheme(source) == kTransferOk) {
    const std::filesystem::path file = PartialFileBeside(LocalTemporaryFolder() / "ovix-check.txt");
    const std::uint32_t code = CreatePlatformTransport()->Fetch(
        source, file, [](std::uint64_t, std::uint64_t) { return true; });
    if (code == kTransferOk) bytes = ReadWholeFile(file);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (!bytes) {
      std::fprintf(stderr, "ovix-updater-cli: cannot fetch \"%s\": %s\n", source.c_str(),
                   MonikerText(code).c_str());
      return std::nullopt;
    }
  } else {
    // A Windows path, or on Linux also one of this system; a folder is no script.
    const auto readFile = [](const std::filesystem::path& file) -> std::optional<std::string> {
      std::error_code error;
      if (std::filesystem::is_directory(file, error)) return std::nullopt;
      return ReadWholeFile(file);
    };
    if (const std::optional<std::filesystem::path> local = LocalPath(source)) {
      bytes = readFile(*local);
    }
    if (!bytes) bytes = readFile(std::filesystem::path(source));
    if (!bytes) {
      std::fprintf(stderr, "ovix-updater-cli: cannot read the script \"%s\"\n", source.c_str());
      return std::nullopt;
    }
  }
  return DecodeText(*bytes);
}

// --check: the findings, one a line, as "SOURCE:LINE: message".
int CheckScriptSource(const TCliOptions& options) {
  std::optional<std::string> text = ReadScriptText(options.check);
  if (!text) return 2;
  // A script of the service kit names the service it is served from by this placeholder,
  // which the kit's server fills in.
  const std::string service = ServiceBaseUrl(
      options.serviceUrl.empty() ? UpdateServiceUrlFromEnvironment() : options.serviceUrl);
  ReplaceAll(*text, kKitServicePlaceholder, service);
  // Example values where the options or the system give none.
  const std::string temp = GetTempDirectory();
  TScriptValues values{.temp = temp.empty() ? "C:\\users\\player\\Temp" : temp,
                       .game = "C:\\Games\\World_of_Tanks",
                       .clientVersion = "1.24.1.0",
                       .oldVersion = "1.24.0.0",
                       .customConfig = !options.configItem.empty(),
                       .keepConfig = options.keepConfig};
  if (!options.configItem.empty()) values.configFile = options.configItem;
  if (!options.gameDirectory.empty()) {
    const std::optional<std::string> folder = ChooseGameFolder(options.gameDirectory);
    if (!folder) return 2;
    values.game = *folder;
    values.clientVersion = GetFileVersionString(*folder + "\\worldoftanks.exe");
    try {
      values.oldVersion = PreviousVersionFolder(*folder);
    } catch (const std::exception&) {
      values.oldVersion.reset();  // a damaged res_mods: the install would stop before the script
    }
  }
  const std::vector<TScriptFinding> findings = CheckScript(*text, values);
  for (const TScriptFinding& finding : findings) {
    std::printf("%s:%zu: %s\n", ShownText(options.check).c_str(), finding.line,
                ShownText(finding.message).c_str());
  }
  std::printf("%zu finding%s\n", findings.size(), findings.size() == 1 ? "" : "s");
  return findings.empty() ? 0 : 1;
}

int Run(const TCliOptions& options) {
  if (options.listGames) return ListGames();
  if (!options.check.empty()) return CheckScriptSource(options);
  std::optional<TLanguage> language;
  if (!options.languageCode.empty() && !(language = LanguageByCode(options.languageCode))) {
    std::fprintf(stderr, "ovix-updater-cli: unknown language \"%s\"\n",
                 options.languageCode.c_str());
    return 2;
  }
  const std::optional<std::string> gameFolder = ChooseGameFolder(options.gameDirectory);
  if (!gameFolder) return 2;
  if (options.undo) return Undo(*gameFolder, options.force);
  TConsoleInstall install{.gameFolder = *gameFolder, .language = language};
  for (const std::string& keyFile : options.trustFiles) {
    const std::optional<std::string> text = ReadWholeFile(std::filesystem::path(keyFile));
    const std::optional<TPublicKey> key = text ? ParsePublicKey(*text) : std::nullopt;
    if (!key) {
      std::fprintf(stderr, "ovix-updater-cli: \"%s\" is no minisign public key file\n",
                   keyFile.c_str());
      return 2;
    }
    install.trustedKeys.push_back(*key);
  }
  if (!options.script.empty()) {
    const std::optional<std::string> script = WindowsScriptArgument(options.script);
    if (!script) {
      std::fprintf(stderr,
                   "ovix-updater-cli: the script \"%s\" lies on no drive of the Wine prefix\n",
                   options.script.c_str());
      return 2;
    }
    if (CheckAddressScheme(*script) != kTransferOk && !FileExists(*script)) {
      std::fprintf(stderr,
                   "ovix-updater-cli: the script \"%s\" is no file and no http or https address\n",
                   options.script.c_str());
      return 2;
    }
    install.script = *script;
  }
  return RunConsoleInstall(options, install);
}

}  // namespace
}  // namespace ovix

int main(int argc, char** argv) {
  const ovix::TConsoleSession session;
  std::string error;
  const auto options =
      ovix::ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "ovix-updater-cli: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(ovix::CliHelp().c_str(), stdout);
    return 0;
  }
  return ovix::Run(*options);
}
