#include "cli/console_install.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string_view>

#include "game/clients.h"
#include "game/discovery.h"
#include "game/probes.h"
#include "install/install.h"
#include "lang/locale.h"
#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "os/text.h"
#include "ovix_version.h"
#include "script/install_journal.h"
#include "ui/headless/headless_application.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// Long enough for a slow service, short enough not to hang an unattended job.
constexpr auto kListDeadline = 60s;
// How often a long step lets the workers' hand-overs run.
constexpr auto kKeepAliveInterval = 5ms;

class TConsoleView final : public TInstallView {
 public:
  TConsoleView(ui::Application& app, TLanguage language, bool undoOnFailure)
      : app_(app), language_(language), undoOnFailure_(undoOnFailure) {}

  void SetLanguage(TLanguage language) { language_ = language; }
  int Warnings() const { return warnings_; }
  bool VersionsRefused() const { return versionsRefused_; }
  bool ConfigsRefused() const { return configsRefused_; }

  TLanguage Language() const override { return language_; }
  void Running(bool) override {}
  // Every line as the script performs it; the window shows only the last one per pump.
  void Status(std::string_view caption) override { PrintLine("status", caption); }
  void Percent(std::string_view caption) override { PrintLine("progress", caption); }
  void Present() override {}
  void Progress(std::int64_t, std::int64_t, TBarState) override {}
  void Warning(std::string_view problem) override {
    ++warnings_;
    PrintLine("warning", problem);
  }
  void Message(std::string_view text, TNoticeKind) override { PrintLine("message", text); }
  // The only question is whether to undo an install that failed or was cut off: the
  // option's answer.
  bool Question(std::string_view text) override {
    PrintLine("message", text);
    PrintLine("answer", undoOnFailure_ ? "Yes" : "No");
    return undoOnFailure_;
  }
  void Outcome(TInstallOutcome) override {}
  void KeepAlive() override {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAlive_ < kKeepAliveInterval) return;
    lastAlive_ = now;
    app_.ProcessMessages();
  }
  void TransferFailed(const std::string& url, std::uint32_t code) override {
    PrintLine("failed", url + ": " + DescribeTransferCode(code));
  }
  void AnswerRefused(const std::string& url) override {
    versionsRefused_ = versionsRefused_ || url.find(kVersionsRequest) != std::string::npos;
    configsRefused_ = configsRefused_ || url.find(kConfigsRequest) != std::string::npos;
  }
  void DryRunAction(std::string_view action) override { PrintLine("dry run", action); }
  void Undone(const TUndoReport& report) override { PrintUndo(report); }

 private:
  ui::Application& app_;
  TLanguage language_;
  bool undoOnFailure_;
  int warnings_ = 0;
  bool versionsRefused_ = false;
  bool configsRefused_ = false;
  std::chrono::steady_clock::time_point lastAlive_;
};

std::optional<std::size_t> ChooseItem(const std::vector<TListEntry>& list, const std::string& item,
                                      const char* what, bool refused) {
  // The box then holds its placeholder alone, which no service sent.
  if (refused) {
    std::fprintf(stderr,
                 "ovix-updater-cli: no %s named \"%s\": the %s list was refused, as it is not "
                 "signed by a trusted key\n",
                 what, item.c_str(), what);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == item) return i;
  }
  std::fprintf(stderr, "ovix-updater-cli: no %s named \"%s\"; the list holds:", what, item.c_str());
  for (const TListEntry& existing : list) std::fprintf(stderr, " \"%s\"", existing.name.c_str());
  std::fprintf(stderr, "\n");
  return std::nullopt;
}

}  // namespace

void PrintLine(const char* kind, std::string_view text) {
  const std::string shown = ShownText(text);
  std::printf("%s: %s\n", kind, shown.c_str());
  std::fflush(stdout);
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

int RunConsoleInstall(const TCliOptions& options, const TConsoleInstall& install) {
  ui::HeadlessApplication app;
  app.SetTitle(OVIX_PRODUCT_NAME);
  const std::unique_ptr<TTransport> transport = CreatePlatformTransport();
  TDownloadRegistry downloads;
  // Until the language is chosen, the texts are the locale's, as the window's are.
  TConsoleView view(app, LanguageFromLocaleId(UserDefaultLocaleId()), options.undoOnFailure);
  TInstall installer(view,
                     {.app = app,
                      .transport = *transport,
                      .downloads = downloads,
                      .serviceUrl = options.serviceUrl.empty() ? UpdateServiceUrlFromEnvironment()
                                                               : options.serviceUrl,
                      .trustedKeys = install.trustedKeys});
  // Every worker ends before the services it uses go.
  struct TEndWorkers {
    ui::Application& app;
    TTransport& transport;
    TDownloadRegistry& downloads;
    ~TEndWorkers() {
      app.Terminate();
      transport.AbortAll();
      downloads.JoinAll();
    }
  } endWorkers{app, *transport, downloads};

  // In the window's order: the configurations asked for, the script given noted, the game
  // folder taken, its versions asked for and an install a kill cut off offered for undo.
  // A list is asked for only to choose from it: nothing else in the install reads it, and a
  // run that transfers nothing then never loads the network library.
  std::vector<TListEntry> configEntries;
  std::vector<TListEntry> versionEntries;
  if (!options.configItem.empty()) {
    installer.RequestList(kConfigsRequest,
                          [&](const std::string& data) { configEntries = ParseServiceList(data); });
  }
  if (!install.script.empty())
    view.Message(Text(txtScriptForced, view.Language()), TNoticeKind::Information);
  std::string gameFolder = install.gameFolder;
  if constexpr (!kClientsLiveInPrefixes) {
    if (gameFolder.empty()) gameFolder = SearchGameDirectory();
  }
  std::string clientVersion;
  if (!gameFolder.empty()) {
    clientVersion = GetFileVersionString(gameFolder + "\\worldoftanks.exe");
    // The value goes unencoded, as the service expects it.
    if (!options.versionItem.empty()) {
      installer.RequestList(
          std::string(kVersionsRequest) + clientVersion,
          [&](const std::string& data) { versionEntries = ParseServiceList(data); });
    }
    installer.OfferToFinishUndo(gameFolder);
  }
  if (install.language) view.SetLanguage(*install.language);
  PrintLine("language", Text(txtLanguageCode, view.Language()));
  std::printf("game folder: %s\n", gameFolder.empty() ? "(none found)" : gameFolder.c_str());

  // The lists' answers in flight arrive.
  const auto deadline = std::chrono::steady_clock::now() + kListDeadline;
  app.PumpUntil(
      [&] {
        downloads.Reap();
        return downloads.Count() == 0 || std::chrono::steady_clock::now() > deadline;
      },
      10ms);
  app.ProcessMessages();

  TInstallChoices choices{.gameFolder = gameFolder,
                          .clientVersion = clientVersion,
                          .versionKey = clientVersion,
                          .customScript = install.script,
                          .keepConfig = options.keepConfig,
                          .dryRun = options.dryRun};
  if (!options.versionItem.empty()) {
    const std::vector<TListEntry> versions =
        VersionItems(versionEntries, std::string(Text(txtStable, view.Language())));
    const std::optional<std::size_t> chosen =
        ChooseItem(versions, options.versionItem, "version", view.VersionsRefused());
    if (!chosen) return view.VersionsRefused() ? 1 : 2;
    // The first item stands for the client's own version, as the window has it.
    if (*chosen > 0) choices.versionKey = versions[*chosen].key;
  }
  if (!options.configItem.empty()) {
    const std::vector<TListEntry> configs =
        ConfigItems(configEntries, std::string(Text(txtDefault, view.Language())));
    const std::optional<std::size_t> chosen =
        ChooseItem(configs, options.configItem, "configuration", view.ConfigsRefused());
    if (!chosen) return view.ConfigsRefused() ? 1 : 2;
    if (*chosen > 0) choices.configFile = configs[*chosen].key;
  }

  const TInstallOutcome outcome = installer.Run(choices);
  if (options.dryRun) {
    // Nothing was written: the outcome is the one the install would have.
    std::printf("dry run: %s; nothing was changed\n", outcome == TInstallOutcome::Installed
                                                          ? "the install would run to its end"
                                                          : InstallOutcomeWords(outcome));
    return outcome == TInstallOutcome::Installed ? 0 : 1;
  }
  int status = 1;
  if (outcome == TInstallOutcome::Installed && view.Warnings() == 0) {
    std::printf("installed\n");
    status = 0;
  } else if (outcome == TInstallOutcome::Installed) {
    std::printf("installed, with %d warning%s\n", view.Warnings(), view.Warnings() == 1 ? "" : "s");
    status = 3;
  } else {
    std::printf("%s\n", InstallOutcomeWords(outcome));
  }
  // Where the player finds what this run did, in full.
  if (const std::string path = TInstall::LogPath(); !path.empty())
    std::printf("log: %s\n", path.c_str());
  return status;
}

}  // namespace ovix
