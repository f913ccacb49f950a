// The install button: one installation or update from start to end.

#include <chrono>
#include <filesystem>
#include <optional>

#include "app/install_log.h"
#include "app/main_window.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/process.h"
#include "ovix_version.h"
#include "script/install_journal.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// How long the wait for the script sleeps between looks at the download.
constexpr auto kScriptDownloadPoll = 10ms;

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown error";
  }
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

std::pair<std::optional<std::filesystem::path>, std::optional<std::filesystem::path>>
TfWindow::JournalPlaces() const {
  return {UserDataFolder(), LocalPath(WOTDir)};
}

std::string TfWindow::InstallLogPath() {
  const std::optional<std::filesystem::path> data = UserDataFolder();
  return data ? (*data / "install.log").string() : std::string();
}

void TfWindow::Log(std::string_view text) const {
  if (log_) log_->Line(text);
}

void TfWindow::bProcessClick() {
  std::string script;
  if (WOTDir.empty()) {
    lastInstall_ = TInstallOutcome::NoGameFolder;
    App().MessageBox(Tr(txtDirectoryNotDetected), ui::TMsgIcon::Warning);
    return;
  }
  if (IsProcessRunning("worldoftanks.exe")) {
    lastInstall_ = TInstallOutcome::ClientRunning;
    App().MessageBox(Tr(txtCloseClient), ui::TMsgIcon::Information);
    return;
  }
  // A dry run changes nothing, and may look on while another install runs.
  if (!onDryRun && !HoldGameFolder()) {
    lastInstall_ = TInstallOutcome::Busy;
    return;
  }
  struct TLetGo {
    std::optional<TFileLock>& hold;
    ~TLetGo() { hold.reset(); }
  } letGo{gameFolderHold_};
  pbCurrentAction.SetState(ui::TProgressState::Normal);
  for (ui::TControl* control : std::initializer_list<ui::TControl*>{
           &bChangeDirectory, &cbKeepConfig, &bProcess, &cmbConfig, &cmbOvixVersion})
    control->SetEnabled(false);
  downloadFailedInInstall_ = false;
  installChangedGame_ = false;
  gameChanges_ = 0;
  const std::optional<std::filesystem::path> data = UserDataFolder();
  if (data && !onDryRun) log_ = std::make_unique<TInstallLog>(*data);
  Log(std::string("install by " OVIX_PRODUCT_NAME " " OVIX_VERSION_TEXT " into ") + WOTDir +
      " (client " + (Version.empty() ? "of unknown version" : Version) + ")");
  try {
    lastInstall_ = RunInstall(script);
  } catch (...) {
    // The player gets the error report and the controls back, then the offer to undo.
    lastInstall_ = TInstallOutcome::Error;
    Log("error: " + ErrorText(std::current_exception()));
    FinishInstall();
    App().ShowException(std::current_exception());
    OfferUndo();
    log_.reset();
    return;
  }
  // Closing leaves everything as it is; the journal, unfinished, offers the undo next time.
  if (lastInstall_ == TInstallOutcome::Closing) {
    Log(InstallOutcomeWords(lastInstall_));
    log_.reset();
    return;
  }
  FinishInstall();
  if (lastInstall_ == TInstallOutcome::DownloadFailed) OfferUndo();
  log_.reset();
}

void TfWindow::FinishInstall() {
  EndJournal();
  Log(InstallOutcomeWords(lastInstall_));
  CloseInstall();
}

void TfWindow::BeginJournal() {
  const auto [data, game] = JournalPlaces();
  if (!data || !game) return;
  std::string error;
  journal_ = TInstallJournal::Begin(*data, *game, error);
  if (!journal_) {
    Log("no journal, so no undo: " + error);
    if (onScriptWarning) onScriptWarning("the install cannot be undone: " + error);
    return;
  }
  Log("journal: " + journal_->Folder().string());
  journal_->onRecord = [this](std::string_view change, const std::filesystem::path& path) {
    if (log_) log_->Line(std::string(change) + " " + path.string(), false);
  };
}

void TfWindow::EndJournal() {
  if (!journal_) return;
  // A change the journal missed cannot be undone: that is worth a warning, not silence.
  if (gameChanges_ > 0 && !journal_->Changed()) {
    const std::string problem = "the install changed " + std::to_string(gameChanges_) +
                                " things in the game folder that its journal did not record, "
                                "so they cannot be undone";
    Log("warning: " + problem);
    if (onScriptWarning) onScriptWarning(problem);
  }
  journal_->End(lastInstall_ == TInstallOutcome::Installed);
  installChangedGame_ = journal_->Changed();
  journal_.reset();
}

void TfWindow::OfferUndo() {
  if (!installChangedGame_) return;
  if (App().MessageBox(Tr(txtUndoInstall), ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo) ==
      ui::TMsgResult::Yes)
    UndoInstall(false);
}

bool TfWindow::HoldGameFolder() {
  if (gameFolderHold_) return true;
  const auto [data, game] = JournalPlaces();
  if (!data || !game) return true;  // no journal either: nothing another process could undo
  bool busy = false;
  gameFolderHold_ = LockGameFolder(*data, *game, busy);
  if (busy) App().MessageBox(Tr(txtGameFolderBusy), ui::TMsgIcon::Information);
  return !busy;
}

void TfWindow::OfferToFinishUndo() {
  const auto [data, game] = JournalPlaces();
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
    if (onScriptWarning) onScriptWarning(problem);
  }
  if (!HasUnfinishedJournal(*data, *game)) return;
  if (App().MessageBox(Tr(txtUndoInstall), ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo) ==
      ui::TMsgResult::Yes) {
    gameFolderHold_ = std::move(hold);
    UndoInstall(false);
    gameFolderHold_.reset();
  }
}

bool TfWindow::UndoInstall(bool force) {
  const auto [data, game] = JournalPlaces();
  if (!data || !game) return false;
  // The client holds its files open, and would run on a half-restored folder.
  if (IsProcessRunning("worldoftanks.exe")) {
    App().MessageBox(Tr(txtCloseClient), ui::TMsgIcon::Information);
    return false;
  }
  const bool held = gameFolderHold_.has_value();
  if (!HoldGameFolder()) return false;
  const TUndoReport report = UndoLastInstall(*data, *game, force);
  if (!held) gameFolderHold_.reset();
  if (log_) {
    LogUndo(*log_, WOTDir, report);
  } else {
    TInstallLog log(*data);
    LogUndo(log, WOTDir, report);
  }
  if (onUndo) onUndo(report);
  if (report.result == TUndoResult::NothingToUndo) return false;
  const bool undone = report.result == TUndoResult::Undone;
  App().MessageBox(Tr(undone ? txtUndoDone : txtUndoNotDone),
                   undone ? ui::TMsgIcon::Information : ui::TMsgIcon::Warning);
  return undone;
}

TInstallOutcome TfWindow::RunInstall(std::string& script) {
  const int versionIndex = cmbOvixVersion.ItemIndex();
  const std::string versionKey =
      versionIndex > 0 ? VersionsFiles.at(static_cast<std::size_t>(versionIndex)) : Version;
  std::string address = serviceUrl_ + std::string(kScriptRequest) + versionKey;
  if (!CustomScript.empty()) {
    // Named by a path of this system, the file is read through the game's prefix.
    const std::string scriptPath = AsWindowsPath(CustomScript);
    if (FileExists(scriptPath)) {
      const auto file = LocalPath(scriptPath);
      const std::optional<std::string> bytes = file ? ReadWholeFile(*file) : std::nullopt;
      if (!bytes) throw std::runtime_error("Cannot read the script file " + CustomScript);
      script = DecodeText(*bytes);
    } else {
      address = CustomScript;
    }
  }
  // The status is taken when fed: the player may switch the language meanwhile.
  FeedPercent(0);
  Log(script.empty() ? "script from " + address : "script from the file " + CustomScript);
  if (script.empty()) {
    FeedStatus(Tr(txtDownloadingScript));
    TAsyncDownloader downloader(*this, address);
    downloader.RequireSignature(trustedKeys_);
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
  if (!PrepareScript(script, Version)) return TInstallOutcome::Error;
  FeedPercent(10);
  if (onDryRun) {
    RunScriptDry(script);
  } else {
    BeginJournal();
    RunScript(script, true);
  }
  // Closed during the run, the install is unfinished whatever the script got to.
  if (App().Terminated()) return TInstallOutcome::Closing;
  pbCurrentAction.SetMax(100);
  pbCurrentAction.SetPosition(100);
  return downloadFailedInInstall_ ? TInstallOutcome::DownloadFailed : TInstallOutcome::Installed;
}

void TfWindow::CloseInstall() {
  bProcess.SetEnabled(true);
  ApplyEnablingRule();
  bProcess.SetCaption(std::string(Tr(txtInstallUpdate)));
}

}  // namespace ovix
