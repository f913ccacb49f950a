// The install button: one installation or update from start to end.

#include <chrono>

#include "app/main_window.h"
#include "game/probes.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "os/files.h"
#include "script/file_actions.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// How long the wait for the script sleeps between looks at the download.
constexpr auto kScriptDownloadPoll = 10ms;

}  // namespace

void TfWindow::bProcessClick() {
  std::string script;
  if (WOTDir.empty()) {
    App().MessageBox(Tr(txtDirectoryNotDetected), ui::TMsgIcon::Warning);
    return;
  }
  if (IsProcessRunning("worldoftanks.exe")) {
    App().MessageBox(Tr(txtCloseClient), ui::TMsgIcon::Information);
    return;
  }
  pbCurrentAction.SetState(ui::TProgressState::Normal);
  for (ui::TControl* control : std::initializer_list<ui::TControl*>{
           &bChangeDirectory, &cbKeepConfig, &bProcess, &cmbConfig, &cmbOvixVersion})
    control->SetEnabled(false);
  try {
    if (!RunInstall(script)) return;  // the application is closing: leave everything as it is
  } catch (...) {
    // The error goes to the error report; the player still gets the controls back.
    CloseInstall();
    throw;
  }
  CloseInstall();
}

bool TfWindow::RunInstall(std::string& script) {
  const int versionIndex = cmbOvixVersion.ItemIndex();
  const std::string versionKey =
      versionIndex > 0 ? VersionsFiles.at(static_cast<std::size_t>(versionIndex)) : Version;
  std::string address = UpdateServiceBaseUrl() + std::string(kScriptRequest) + versionKey;
  if (!CustomScript.empty()) {
    if (FileExists(CustomScript)) {
      const auto file = LocalPath(CustomScript);
      const std::optional<std::string> bytes = file ? ReadWholeFile(*file) : std::nullopt;
      if (!bytes) throw std::runtime_error("Cannot read the script file " + CustomScript);
      script = DecodeText(*bytes);
    } else {
      address = CustomScript;
    }
  }
  // Built when fed: the player may switch the language while the script downloads.
  const auto status = [this](const TCatalogueEntry& text) {
    RunScript("STATUS_" + std::string(Tr(txtLanguageCode)) + " = " + std::string(Tr(text)), true);
  };
  RunScript("PERCENT = 00", true);
  if (script.empty()) {
    status(txtDownloadingScript);
    {
      TAsyncDownloader downloader(*this, address);
      downloader.Start();
      do {
        App().WaitForWork(kScriptDownloadPoll);
        App().ProcessMessages();
      } while (!downloader.Finished() && !App().Terminated());
      // Destroying the downloader cancels a transfer still running and waits for it.
      if (App().Terminated()) return false;
      script = downloader.GetString();
    }
  }
  if (script.empty()) return true;
  RunScript("PERCENT = 05", true);
  status(txtCollectingInfo);
  if (!PrepareScript(script, Version)) return true;
  RunScript("PERCENT = 10", true);
  RunScript(script, true);
  pbCurrentAction.SetMax(100);
  pbCurrentAction.SetPosition(100);
  return true;
}

void TfWindow::CloseInstall() {
  bProcess.SetEnabled(true);
  ApplyEnablingRule();
  bProcess.SetCaption(std::string(Tr(txtInstallUpdate)));
}

}  // namespace ovix
