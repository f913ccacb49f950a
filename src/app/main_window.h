#pragma once
// The main window: every control, every field and every event handler, and the install
// shown on its controls.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "game/clients.h"
#include "install/install.h"
#include "lang/languages.h"
#include "net/async_downloader.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace ovix {

struct TUndoReport;

// What the process hands the window at start-up.
struct TStartup {
  std::vector<std::string> arguments;     // command-line arguments after the program name
  std::uint32_t localeId = 0x0409;        // the user's default locale identifier
  std::shared_ptr<TTransport> transport;  // the network; the platform's when unset
  std::string gameDirectory;              // a checked game folder instead of the search
  std::string serviceUrl;                 // the update service; the built-in one when empty
  std::vector<TPublicKey> trustedKeys;    // trusted beside the built-in ones (--trust)
};

class TfWindow : public ui::TForm, public TDownloadHost, private TInstallView {
 public:
  // Builds the controls and runs FormCreate.
  TfWindow(ui::Application& app, const TStartup& startup);
  // Ends every transfer and waits for its worker before the controls go.
  ~TfWindow() override;

  // Controls, in declaration order.
  ui::TLabel lWarning;
  ui::TGroupBox gbOptions;
  ui::TCheckBox cbKeepConfig;
  ui::TEdit eDirectory;
  ui::TButton bChangeDirectory;
  ui::TButton bProcess;
  ui::TLabel lOvixversion;
  ui::TComboBox cmbOvixVersion;
  ui::TLabel lConfig;
  ui::TComboBox cmbConfig;
  ui::TImageList ilLanguages;
  ui::TGroupBox gbProgress;
  ui::TLabel lCurrentAction;
  ui::TProgressBar pbCurrentAction;
  ui::TComboBox cbLanguage;

  // State. Event handlers and the install work read and write these directly.
  std::vector<std::string> VersionsFiles;  // parallel to cmbOvixVersion's items
  std::vector<std::string> ConfigsFiles;   // entry i belongs to cmbConfig item i + 1
  std::string WOTDir;
  std::string Version;
  std::string CustomScript;
  std::string LastNightlyRev;
  // Where clients live in Wine prefixes: every client the start-up search found, and those
  // picked since; Modify lists them. Always empty on Windows.
  std::vector<TGameClient> FoundClients;
  TLanguage currentLanguage = lngEN;

  // For a front end that reports more than the window shows (the console program): each
  // status and percentage caption as the script performs it (the window shows them when
  // it is next pumped), each download that failed with its address, and in plain words
  // each file action of a script that left something undone (the window shows nothing).
  std::function<void(std::string_view caption)> onScriptStatus;
  std::function<void(std::string_view caption)> onScriptPercent;
  std::function<void(const std::string& url, std::uint32_t code)> onDownloadFailed;
  std::function<void(std::string_view problem)> onScriptWarning;
  // Each undo of an install, with what it came to.
  std::function<void(const TUndoReport& report)> onUndo;
  // Each answer of the service refused for want of a trusted signature, by its address.
  std::function<void(const std::string& url)> onAnswerRefused;
  // Set, the install button runs a dry run: the whole install, but with nothing written (no
  // journal, no install log, no file of the script's), each action the script would take
  // told here in words instead, and each GETFILE's address asked for its size only.
  std::function<void(std::string_view action)> onDryRun;

  // Event handlers.
  void cbKeepConfigClick();
  void bChangeDirectoryClick();
  void bProcessClick();
  void cmbOvixVersionChange();
  void cbLanguageChange();
  void cbLanguageDrawItem(ui::TComboBox& control, int index, const ui::TRect& rect,
                          ui::TCanvas& canvas);

  // Switches the interface language and relabels the window.
  void SetLanguage(TLanguage language);
  // Re-enables the option controls after an operation that locked them.
  void ApplyEnablingRule();
  // Shows WOTDir, reads the client version and asks for the version list.
  void ApplyGameDirectory();
  // The update service's answers, on the UI thread.
  void VersionsReceived(const std::string& Data);
  void ConfigsReceived(const std::string& Data);
  void NightlyReceived(const std::string& Data);

  // What the downloaders need of the window.
  ui::Application& App() override { return ui::TForm::App(); }
  TTransport& Transport() override { return *transport_; }
  TDownloadRegistry& Downloads() override { return downloads_; }
  void DownloadProgress(std::int64_t received, std::int64_t total) override;
  void DownloadFailed(std::uint32_t code, const std::string& url) override;
  void AnswerNotSigned(const std::string& url) override;

  // What the last press of the install button came to, for a front end that reports it (the
  // console program); the window itself shows it through its captions and message boxes.
  TInstallOutcome LastInstallOutcome() const { return lastInstall_; }
  // Where each install and undo is logged; empty when the system names no data folder.
  static std::string InstallLogPath();
  // Puts the game folder back as it was before its last install, tells the player how that
  // went, and reports it to onUndo. False when nothing was undone.
  bool UndoInstall(bool force);

  // The catalogue text in the language in force.
  std::string_view Tr(const TCatalogueEntry& entry) const { return Text(entry, currentLanguage); }

 private:
  friend struct TfWindowTestAccess;

  // The install as the player has chosen it on the controls.
  TInstallChoices Choices() const;
  // At start and after Modify: an install or undo of this folder that a kill cut off.
  void OfferToFinishUndo();
  // Runs an install script into the game folder; the position where it stopped.
  int RunScript(const std::string& Script, bool Execute);
  // Puts this machine's values and the player's choices in place of the script's
  // placeholders; false, after telling the player, when the game folder cannot be read.
  bool PrepareScript(std::string& Script, const std::string& ClientVersion);

  // The install, on the controls.
  TLanguage Language() const override { return currentLanguage; }
  void Running(bool running) override;
  void Status(std::string_view caption) override;
  void Percent(std::string_view caption) override;
  void Present() override;
  void Progress(std::int64_t position, std::int64_t maximum, TBarState state) override;
  void Warning(std::string_view problem) override;
  void Message(std::string_view text, TNoticeKind kind) override;
  bool Question(std::string_view text) override;
  void Outcome(TInstallOutcome outcome) override { lastInstall_ = outcome; }
  void KeepAlive() override;
  void TransferFailed(const std::string& url, std::uint32_t code) override;
  void AnswerRefused(const std::string& url) override;
  void DryRunAction(std::string_view action) override;
  void Undone(const TUndoReport& report) override;

  void FormCreate(const TStartup& startup);
  void RequestList(std::string_view request, void (TfWindow::*received)(const std::string&));
  void FillLanguagePicker();
  void TakeCommandLine(const std::vector<std::string>& arguments);
  void RequestConfigurationList();
  void FindGameDirectory();
  // Makes the client the game folder, reached through its prefix.
  void TakeClient(const TGameClient& client);
  // The folder picker, until the player picks a game folder or gives up.
  void PickGameFolder();
  void PlaceOptionBoxes();
  void RelabelPlaceholder(ui::TComboBox& box, const TCatalogueEntry& entry, TLanguage oldLanguage);

  std::shared_ptr<TTransport> transport_;
  TInstallOutcome lastInstall_ = TInstallOutcome::None;
  TDownloadRegistry downloads_;
  // Made once the services above are; every install and undo of this window runs in it.
  std::unique_ptr<TInstall> install_;
  // Captions are staged and shown when the window is next pumped, before a long command and
  // when the run ends: a real window takes a fraction of a millisecond per caption, which
  // thousands of status lines would otherwise add up to seconds.
  std::optional<std::string> status_;
  std::optional<std::string> percent_;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace ovix
