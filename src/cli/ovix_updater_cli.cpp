// The console front end: the main window on the headless toolkit, for unattended
// installs. It does what a player would click and prints what the window would show.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/install_log.h"
#include "app/main_window.h"
#include "app/script_check.h"
#include "cli/cli_options.h"
#include "cli/cli_platform.h"
#include "game/clients.h"
#include "game/discovery.h"
#include "game/probes.h"
#include "lang/locale.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/text.h"
#include "ovix_version.h"
#include "script/install_journal.h"
#include "trust/minisign.h"
#include "ui/headless/headless_application.h"

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

// Lets the list answers in flight arrive.
void SettleLists(ui::Application& app, TfWindow& window) {
  const auto deadline = std::chrono::steady_clock::now() + kListDeadline;
  app.PumpUntil(
      [&] {
        window.Downloads().Reap();
        return window.Downloads().Count() == 0 || std::chrono::steady_clock::now() > deadline;
      },
      10ms);
  app.ProcessMessages();
}

bool ChooseItem(ui::TComboBox& box, const std::string& item, const char* what, bool refused) {
  // The box then holds its placeholder alone, which no service sent.
  if (refused) {
    std::fprintf(stderr,
                 "ovix-updater-cli: no %s named \"%s\": the %s list was refused, as it is not "
                 "signed by a trusted key\n",
                 what, item.c_str(), what);
    return false;
  }
  for (int i = 0; i < box.ItemCount(); ++i) {
    if (box.Items()[i] != item) continue;
    box.UserSelect(i);
    return true;
  }
  std::fprintf(stderr, "ovix-updater-cli: no %s named \"%s\"; the list holds:", what, item.c_str());
  for (const std::string& existing : box.Items()) std::fprintf(stderr, " \"%s\"", existing.c_str());
  std::fprintf(stderr, "\n");
  return false;
}

void PrintLine(const char* kind, std::string_view text) {
  const std::string shown = ShownText(text);
  std::printf("%s: %s\n", kind, shown.c_str());
  std::fflush(stdout);
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

void PrintUndo(const TUndoReport& report) {
  switch (report.result) {
    case TUndoResult::Undone:
      PrintLine("undo", "the game folder is back as it was before the install");
      break;
    case TUndoResult::NothingToUndo:
      PrintLine("undo", "no install of this game folder is left to undo");
      break;
    case TUndoResult::Refused:
      PrintLine("undo",
                "refused: files the install wrote were changed since (--force undoes anyway)");
      for (const auto& file : report.changed) PrintLine("changed", file.string());
      break;
    case TUndoResult::Incomplete:
      PrintLine("undo", "incomplete: these could not be put back; run --undo again to retry");
      for (const TUndoFailure& failure : report.failed) {
        PrintLine("failed", failure.path.string() + ": " + failure.reason);
      }
      break;
    case TUndoResult::Damaged:
      PrintLine("undo", "refused: the install's journal cannot be believed; nothing was changed");
      for (const std::string& why : report.damage) PrintLine("damaged", why);
      break;
  }
  if (!report.keptAside.empty()) PrintLine("kept aside", report.keptAside.string());
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
      std::fprintf(stderr, "ovix-updater-cli: cannot fetch \"%s\": URL Moniker 0x%s\n",
                   source.c_str(), FormatTransferCode(code).c_str());
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
  TStartup startup;
  startup.localeId = UserDefaultLocaleId();
  startup.gameDirectory = *gameFolder;
  startup.serviceUrl =
      options.serviceUrl.empty() ? UpdateServiceUrlFromEnvironment() : options.serviceUrl;
  for (const std::string& keyFile : options.trustFiles) {
    const std::optional<std::string> text = ReadWholeFile(std::filesystem::path(keyFile));
    const std::optional<TPublicKey> key = text ? ParsePublicKey(*text) : std::nullopt;
    if (!key) {
      std::fprintf(stderr, "ovix-updater-cli: \"%s\" is no minisign public key file\n",
                   keyFile.c_str());
      return 2;
    }
    startup.trustedKeys.push_back(*key);
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
    startup.arguments.push_back(*script);
  }

  ui::HeadlessApplication app;
  app.SetTitle(OVIX_PRODUCT_NAME);
  app.onMessage = [](const ui::ShownMessage& message) { PrintLine("message", message.text); };
  app.onAnswer = [](ui::TMsgResult answer) {
    PrintLine("answer", answer == ui::TMsgResult::Yes ? "Yes" : "No");
  };
  TfWindow window(app, startup);
  int warnings = 0;
  // Every line as the script performs it; the window shows only the last one per pump.
  window.onScriptStatus = [](std::string_view caption) { PrintLine("status", caption); };
  window.onScriptPercent = [](std::string_view caption) { PrintLine("progress", caption); };
  window.onDownloadFailed = [](const std::string& url, std::uint32_t code) {
    PrintLine("failed", url + ": " + DescribeTransferCode(code));
  };
  window.onUndo = PrintUndo;
  bool versionsRefused = false;
  bool configsRefused = false;
  window.onAnswerRefused = [&](const std::string& url) {
    versionsRefused = versionsRefused || url.find(kVersionsRequest) != std::string::npos;
    configsRefused = configsRefused || url.find(kConfigsRequest) != std::string::npos;
  };
  if (options.dryRun) {
    window.onDryRun = [](std::string_view action) { PrintLine("dry run", action); };
  }
  // The window asks whether to undo a failed install; the answer is the option's.
  if (options.undoOnFailure) app.QueueAnswer(ui::TMsgResult::Yes);
  window.onScriptWarning = [&](std::string_view problem) {
    ++warnings;
    PrintLine("warning", problem);
  };
  window.Show();
  // Through the flag picker, as a player would choose it, so the two always agree.
  if (language) window.cbLanguage.UserSelect(static_cast<int>(*language));
  PrintLine("language",
            Text(txtLanguageCode, static_cast<TLanguage>(window.cbLanguage.ItemIndex())));
  std::printf("game folder: %s\n", window.WOTDir.empty() ? "(none found)" : window.WOTDir.c_str());
  SettleLists(app, window);
  if (!options.versionItem.empty() &&
      !ChooseItem(window.cmbOvixVersion, options.versionItem, "version", versionsRefused)) {
    return versionsRefused ? 1 : 2;
  }
  if (!options.configItem.empty() &&
      !ChooseItem(window.cmbConfig, options.configItem, "configuration", configsRefused)) {
    return configsRefused ? 1 : 2;
  }
  if (options.keepConfig) window.cbKeepConfig.UserSetChecked(true);

  window.bProcess.Click();
  const TInstallOutcome outcome = window.LastInstallOutcome();
  int status = 1;
  if (options.dryRun) {
    // Nothing was written: the outcome is the one the install would have.
    std::printf("dry run: %s; nothing was changed\n", outcome == TInstallOutcome::Installed
                                                          ? "the install would run to its end"
                                                          : InstallOutcomeWords(outcome));
    return outcome == TInstallOutcome::Installed ? 0 : 1;
  }
  if (outcome == TInstallOutcome::Installed && warnings == 0) {
    std::printf("installed\n");
    status = 0;
  } else if (outcome == TInstallOutcome::Installed) {
    std::printf("installed, with %d warning%s\n", warnings, warnings == 1 ? "" : "s");
    status = 3;
  } else {
    std::printf("%s\n", InstallOutcomeWords(outcome));
  }
  // Where the player finds what this run did, in full.
  if (const std::string path = TfWindow::InstallLogPath(); !path.empty())
    std::printf("log: %s\n", path.c_str());
  return status;
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
