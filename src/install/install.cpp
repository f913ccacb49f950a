// One install or update from start to end, and its undo.

#include "install/install.h"

#include <chrono>
#include <filesystem>
#include <optional>

#include "game/clients.h"
#include "install/install_log.h"
#include "install/script_check.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/process.h"
#include "os/text.h"
#include "ovix_version.h"
#include "script/install_journal.h"
#include "trust/trusted_keys.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// How long the wait for the script sleeps between looks at the download.
constexpr auto kScriptDownloadPoll = 10ms;

// Where the journals are kept, and the game folder as this system names it.
std::pair<std::optional<std::filesystem::path>, std::optional<std::filesystem::path>> JournalPlaces(
    const std::string& gameFolder) {
  return {UserDataFolder(), LocalPath(gameFolder)};
}

}  // namespace

const char* InstallOutcomeWords(TInstallOutcome outcome) {
  switch (outcome) {
    case TInstallOutcome::Installed:
      return "installed";
    case TInstallOutcome::NoGameFolder:
      return "not installed: no game folder";
    case TInstallOutcome::ClientRunning:
      return "not installed: the game's client runs";
    case TInstallOutcome::ScriptDownloadFailed:
      return "not installed: the install script did not arrive";
    case TInstallOutcome::NoScript:
      return "not installed: the install script is empty";
    case TInstallOutcome::DownloadFailed:
      return "not installed: a download by the script failed";
    case TInstallOutcome::Busy:
      return "not installed: another install or undo of this game folder runs";
    case TInstallOutcome::Error:
      return "not installed: an error stopped the install";
    case TInstallOutcome::Closing:
      return "not installed: the program was closed during it";
    case TInstallOutcome::None:
      break;
  }
  return "";
}

TInstall::TInstall(TInstallView& view, TInstallServices services)
    : view_(view), services_(std::move(services)) {
  // The address as the requests are appended to it, and every answer signed by a key of these.
  services_.serviceUrl = services_.serviceUrl.empty() ? DefaultUpdateServiceUrl()
                                                      : ServiceBaseUrl(services_.serviceUrl);
  std::vector<TPublicKey> keys = BuiltInTrustedKeys();
  keys.insert(keys.end(), services_.trustedKeys.begin(), services_.trustedKeys.end());
  services_.trustedKeys = std::move(keys);
}

TInstall::~TInstall() = default;

std::string TInstall::LogPath() {
  const std::optional<std::filesystem::path> data = UserDataFolder();
  return data ? (*data / "install.log").string() : std::string();
}

void TInstall::Log(std::string_view text) const {
  if (log_) log_->Line(text);
}

std::string_view TInstall::Tr(const TCatalogueEntry& entry) const {
  return Text(entry, view_.Language());
}

TInstallOutcome TInstall::Run(const TInstallChoices& choices) {
  const auto told = [this](TInstallOutcome outcome) {
    view_.Outcome(outcome);
    return outcome;
  };
  if (choices.gameFolder.empty()) {
    told(TInstallOutcome::NoGameFolder);
    view_.Message(Tr(txtDirectoryNotDetected), TNoticeKind::Warning);
    return TInstallOutcome::NoGameFolder;
  }
  if (IsProcessRunning("worldoftanks.exe")) {
    told(TInstallOutcome::ClientRunning);
    view_.Message(Tr(txtCloseClient), TNoticeKind::Information);
    return TInstallOutcome::ClientRunning;
  }
  // A dry run changes nothing, and may look on while another install runs.
  if (!choices.dryRun && !HoldGameFolder(choices.gameFolder)) return told(TInstallOutcome::Busy);
  struct TLetGo {
    std::optional<TFileLock>& hold;
    ~TLetGo() { hold.reset(); }
  } letGo{gameFolderHold_};
  view_.Running(true);
  downloadFailed_ = false;
  changedGame_ = false;
  gameChanges_ = 0;
  const std::optional<std::filesystem::path> data = UserDataFolder();
  if (data && !choices.dryRun) log_ = std::make_unique<TInstallLog>(*data);
  Log(std::string("install by " OVIX_PRODUCT_NAME " " OVIX_VERSION_TEXT " into ") +
      choices.gameFolder + " (client " +
      (choices.clientVersion.empty() ? "of unknown version" : choices.clientVersion) + ")");
  TInstallOutcome outcome = TInstallOutcome::Error;
  try {
    outcome = told(RunSteps(choices));
  } catch (...) {
    // The player gets the error report and the choices back, then the offer to undo.
    told(TInstallOutcome::Error);
    Log("error: " + ExceptionText(std::current_exception(), "an unknown error"));
    Finish(TInstallOutcome::Error);
    // The words of the generic error report.
    view_.Message(ExceptionText(std::current_exception(), "Unknown error."), TNoticeKind::Warning);
    OfferUndo(choices.gameFolder);
    log_.reset();
    return TInstallOutcome::Error;
  }
  // Closing leaves everything as it is; the journal, unfinished, offers the undo next time.
  if (outcome == TInstallOutcome::Closing) {
    Log(InstallOutcomeWords(outcome));
    log_.reset();
    return outcome;
  }
  Finish(outcome);
  if (outcome == TInstallOutcome::DownloadFailed) OfferUndo(choices.gameFolder);
  log_.reset();
  return outcome;
}

void TInstall::Finish(TInstallOutcome outcome) {
  EndJournal(outcome);
  Log(InstallOutcomeWords(outcome));
  view_.Running(false);
}

void TInstall::BeginJournal(const std::string& gameFolder) {
  const auto [data, game] = JournalPlaces(gameFolder);
  if (!data || !game) return;
  std::string error;
  journal_ = TInstallJournal::Begin(*data, *game, error);
  if (!journal_) {
    Log("no journal, so no undo: " + error);
    view_.Warning("the install cannot be undone: " + error);
    return;
  }
  Log("journal: " + journal_->Folder().string());
  journal_->onRecord = [this](TJournalRecord change, const std::filesystem::path& path) {
    if (log_) log_->Line(std::string(RecordWords(change)) + " " + path.string(), false);
  };
}

void TInstall::EndJournal(TInstallOutcome outcome) {
  if (!journal_) return;
  // A change the journal missed cannot be undone: that is worth a warning, not silence.
  if (gameChanges_ > 0 && !journal_->Changed()) {
    const std::string problem = "the install changed " + std::to_string(gameChanges_) +
                                " things in the game folder that its journal did not record, "
                                "so they cannot be undone";
    Log("warning: " + problem);
    view_.Warning(problem);
  }
  journal_->End(outcome == TInstallOutcome::Installed);
  changedGame_ = journal_->Changed();
  journal_.reset();
}

void TInstall::OfferUndo(const std::string& gameFolder) {
  if (changedGame_ && view_.Question(Tr(txtUndoInstall))) Undo(gameFolder, false);
}

bool TInstall::HoldGameFolder(const std::string& gameFolder) {
  if (gameFolderHold_) return true;
  const auto [data, game] = JournalPlaces(gameFolder);
  if (!data || !game) return true;  // no journal either: nothing another process could undo
  bool busy = false;
  gameFolderHold_ = LockGameFolder(*data, *game, busy);
  if (busy) view_.Message(Tr(txtGameFolderBusy), TNoticeKind::Information);
  return !busy;
}

void TInstall::OfferToFinishUndo(const std::string& gameFolder) {
  const auto [data, game] = JournalPlaces(gameFolder);
  if (!data || !game) return;
  // An unfinished journal of a folder another process holds is that process's live install.
  bool busy = false;
  std::optional<TFileLock> hold = LockGameFolder(*data, *game, busy);
  if (busy) return;
  for (const TSetAsideJournal& damaged : SetAsideDamagedJournals(*data, *game)) {
    TInstallLog log(*data);
    std::string problem =
        "the journal " + damaged.folder.string() + " cannot be believed, so no undo will use it:";
    for (const std::string& why : damaged.damage) problem += " " + why + ";";
    log.Line("warning: " + problem);
    view_.Warning(problem);
  }
  if (!HasUnfinishedJournal(*data, *game)) return;
  if (view_.Question(Tr(txtUndoInstall))) {
    gameFolderHold_ = std::move(hold);
    Undo(gameFolder, false);
    gameFolderHold_.reset();
  }
}

bool TInstall::Undo(const std::string& gameFolder, bool force) {
  const auto [data, game] = JournalPlaces(gameFolder);
  if (!data || !game) return false;
  // The client holds its files open, and would run on a half-restored folder.
  if (IsProcessRunning("worldoftanks.exe")) {
    view_.Message(Tr(txtCloseClient), TNoticeKind::Information);
    return false;
  }
  const bool held = gameFolderHold_.has_value();
  if (!HoldGameFolder(gameFolder)) return false;
  const TUndoReport report = UndoLastInstall(*data, *game, force);
  if (!held) gameFolderHold_.reset();
  if (log_) {
    LogUndo(*log_, gameFolder, report);
  } else {
    TInstallLog log(*data);
    LogUndo(log, gameFolder, report);
  }
  view_.Undone(report);
  if (report.result == TUndoResult::NothingToUndo) return false;
  const bool undone = report.result == TUndoResult::Undone;
  view_.Message(Tr(undone ? txtUndoDone : txtUndoNotDone),
                undone ? TNoticeKind::Information : TNoticeKind::Warning);
  return undone;
}

TInstallOutcome TInstall::RunSteps(const TInstallChoices& choices) {
  std::string script;
  std::string address = services_.serviceUrl + std::string(kScriptRequest) + choices.versionKey;
  if (!choices.customScript.empty()) {
    // Named by a path of this system, the file is read through the game's prefix.
    const std::string scriptPath = AsWindowsPath(choices.customScript);
    if (FileExists(scriptPath)) {
      const auto file = LocalPath(scriptPath);
      const std::optional<std::string> bytes = file ? ReadWholeFile(*file) : std::nullopt;
      if (!bytes) throw std::runtime_error("Cannot read the script file " + choices.customScript);
      script = DecodeText(*bytes);
    } else {
      address = choices.customScript;
    }
  }
  // The status is taken when fed: the player may switch the language meanwhile.
  FeedPercent(0);
  Log(script.empty() ? "script from " + address : "script from the file " + choices.customScript);
  if (script.empty()) {
    FeedStatus(Tr(txtDownloadingScript));
    TAsyncDownloader downloader(*this, address);
    downloader.RequireSignature(services_.trustedKeys);
    downloader.Start();
    // Destroying the downloader cancels a transfer still running and waits for it.
    App().PumpUntil([&] { return downloader.Finished(); }, kScriptDownloadPoll);
    if (App().Terminated()) return TInstallOutcome::Closing;
    if (downloader.Result() != kTransferOk) return TInstallOutcome::ScriptDownloadFailed;
    script = downloader.GetString();
  }
  if (script.empty()) return TInstallOutcome::NoScript;
  FeedPercent(5);
  FeedStatus(Tr(txtCollectingInfo));
  if (!PrepareScript(script, choices)) return TInstallOutcome::Error;
  FeedPercent(10);
  if (choices.dryRun) {
    RunScriptDry(script, choices);
  } else {
    BeginJournal(choices.gameFolder);
    RunScript(script, true, choices);
  }
  // Closed during the run, the install is unfinished whatever the script got to.
  if (App().Terminated()) return TInstallOutcome::Closing;
  view_.Progress(100, 100);
  return downloadFailed_ ? TInstallOutcome::DownloadFailed : TInstallOutcome::Installed;
}

void TInstall::RequestList(std::string_view request, TAsyncDownloadCallback received) {
  TAsyncDownloader::Create(*this, services_.serviceUrl + std::string(request), std::move(received),
                           services_.trustedKeys);
}

void TInstall::DownloadProgress(std::int64_t received, std::int64_t total) {
  view_.Progress(received, total);
}

void TInstall::DownloadFailed(std::uint32_t code, const std::string& url) {
  downloadFailed_ = true;
  TellFailedTransfer(code, url);
}

void TInstall::TellFailedTransfer(std::uint32_t code, const std::string& url) {
  view_.TransferFailed(url, code);
  view_.Progress(100, 100, TBarState::Failed);
  if (code == kTransferNotSigned) {
    AnswerNotSigned(url);
    return;
  }
  view_.Message(std::string(Tr(txtDownloadError)) + "\r\n" + MonikerText(code),
                TNoticeKind::Warning);
}

void TInstall::AnswerNotSigned(const std::string& url) {
  Log(url + ": " + std::string(Text(txtNotSigned, lngEN)));
  view_.AnswerRefused(url);
  view_.Message(std::string(Tr(txtNotSigned)), TNoticeKind::Warning);
}

}  // namespace ovix
