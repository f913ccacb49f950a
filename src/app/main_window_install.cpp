// The install button, and the install shown on the window's controls.

#include <chrono>
#include <utility>

#include "app/main_window.h"
#include "script/install_journal.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// Long enough that pumping costs little, short enough to feel immediate.
constexpr auto kPumpInterval = 5ms;

ui::TMsgIcon Icon(TNoticeKind kind) {
  return kind == TNoticeKind::Warning ? ui::TMsgIcon::Warning : ui::TMsgIcon::Information;
}

}  // namespace

std::string TfWindow::InstallLogPath() { return TInstall::LogPath(); }

TInstallChoices TfWindow::Choices() const {
  const int versionIndex = cmbOvixVersion.ItemIndex();
  TInstallChoices choices{
      .gameFolder = WOTDir,
      .clientVersion = Version,
      .versionKey =
          versionIndex > 0 ? VersionsFiles.at(static_cast<std::size_t>(versionIndex)) : Version,
      .customScript = CustomScript,
      .keepConfig = cbKeepConfig.Checked(),
      .dryRun = static_cast<bool>(onDryRun)};
  if (const int config = cmbConfig.ItemIndex(); config > 0)
    choices.configFile = ConfigsFiles.at(static_cast<std::size_t>(config - 1));
  return choices;
}

void TfWindow::bProcessClick() { install_->Run(Choices()); }

bool TfWindow::UndoInstall(bool force) { return install_->Undo(WOTDir, force); }

void TfWindow::OfferToFinishUndo() { install_->OfferToFinishUndo(WOTDir); }

int TfWindow::RunScript(const std::string& Script, bool Execute) {
  return install_->RunScript(Script, Execute, Choices());
}

bool TfWindow::PrepareScript(std::string& Script, const std::string& ClientVersion) {
  TInstallChoices choices = Choices();
  choices.clientVersion = ClientVersion;
  return install_->PrepareScript(Script, choices);
}

void TfWindow::Running(bool running) {
  if (!running) {
    bProcess.SetEnabled(true);
    ApplyEnablingRule();
    bProcess.SetCaption(std::string(Tr(txtInstallUpdate)));
    return;
  }
  pbCurrentAction.SetState(ui::TProgressState::Normal);
  for (ui::TControl* control : std::initializer_list<ui::TControl*>{
           &bChangeDirectory, &cbKeepConfig, &bProcess, &cmbConfig, &cmbOvixVersion})
    control->SetEnabled(false);
}

void TfWindow::Status(std::string_view caption) {
  status_ = std::string(caption);
  if (onScriptStatus) onScriptStatus(caption);
}

void TfWindow::Percent(std::string_view caption) {
  percent_ = std::string(caption);
  if (onScriptPercent) onScriptPercent(caption);
}

void TfWindow::Present() {
  if (status_) lCurrentAction.SetCaption(*std::exchange(status_, std::nullopt));
  if (percent_) bProcess.SetCaption(*std::exchange(percent_, std::nullopt));
}

void TfWindow::Progress(std::int64_t position, std::int64_t maximum, TBarState state) {
  pbCurrentAction.SetMax(static_cast<int>(maximum));
  pbCurrentAction.SetPosition(static_cast<int>(position));
  if (state == TBarState::Normal) return;
  pbCurrentAction.SetState(ui::TProgressState::Error);
  // bProcess stays as it is: the install that locked it unlocks it.
  ApplyEnablingRule();
}

void TfWindow::Warning(std::string_view problem) {
  if (onScriptWarning) onScriptWarning(problem);
}

void TfWindow::Message(std::string_view text, TNoticeKind kind) {
  App().MessageBox(text, Icon(kind));
}

bool TfWindow::Question(std::string_view text) {
  return App().MessageBox(text, ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo) ==
         ui::TMsgResult::Yes;
}

void TfWindow::KeepAlive() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < kPumpInterval) return;
  lastPump_ = now;
  Present();
  App().ProcessMessages();
}

void TfWindow::TransferFailed(const std::string& url, std::uint32_t code) {
  if (onDownloadFailed) onDownloadFailed(url, code);
}

void TfWindow::AnswerRefused(const std::string& url) {
  if (onAnswerRefused) onAnswerRefused(url);
}

void TfWindow::DryRunAction(std::string_view action) {
  if (onDryRun) onDryRun(action);
}

void TfWindow::Undone(const TUndoReport& report) {
  if (onUndo) onUndo(report);
}

}  // namespace ovix
