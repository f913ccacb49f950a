#pragma once
// The main window: every control, every field and every event handler.

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
#include "lang/languages.h"
#include "net/async_downloader.h"
#include "os/file_lock.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace ovix {

class TInstallJournal;
class TInstallLog;
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

// What the last press of the install button came to, for a front end that reports it (the
// console program); the window itself shows it through its captions and message boxes.
enum class TInstallOutcome {
  None,                  // no install has run yet
  Installed,             // the script ran to its end, every download in it arrived
  NoGameFolder,          // no game folder to install into
  ClientRunning,         // the game's client runs
  ScriptDownloadFailed,  // the install script did not arrive
  NoScript,              // the script arrived empty: nothing to run
  DownloadFailed,        // the script ran to its end, but a download in it failed
  Error,                 // an error stopped it
  Closing,               // the application began closing during it
  Busy,                  // another install or undo of the game folder runs
};

// How an install ended, in words: "installed", or "not installed: " and why.
const char* InstallOutcomeWords(TInstallOutcome outcome);

class TfWindow : public ui::TForm, public TDownloadHost {
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
  class ScriptHost;
  class DryRunHost;

  // The install after the checks and the locking. Closing, when the application began
  // closing during the script download, leaves the controls locked.
  TInstallOutcome RunInstall(std::string& script);
  // Unlocks the controls and takes the percentage off the install button.
  void CloseInstall();
  // Ends the journal, logs the outcome and unlocks the controls.
  void FinishInstall();
  // The journal of the install's changes to the game folder, from just before the script
  // runs; without one (no data folder, say) the install runs unrecorded.
  void BeginJournal();
  void EndJournal();
  // Asks whether to undo an install that failed after changing the game folder.
  void OfferUndo();
  // At start and after Modify: an install or undo of this folder that a kill cut off.
  void OfferToFinishUndo();
  // Holds the game folder for this window's install or undo; false when another process
  // holds it, or it cannot be locked, after telling the player of the former.
  bool HoldGameFolder();
  // Where the journals are kept, and the game folder as this system names it.
  std::pair<std::optional<std::filesystem::path>, std::optional<std::filesystem::path>>
  JournalPlaces() const;
  // Runs an install script against the window; the position where it stopped.
  int RunScript(const std::string& Script, bool Execute);
  // The same against the dry run's host.
  int RunScriptDry(const std::string& Script);
  // The install's own status and percentage lines, through the script host as a script's
  // lines go, each shown at once.
  void FeedStatus(std::string_view text);
  void FeedPercent(int value);
  // Puts this machine's values and the player's choices in place of the script's
  // placeholders; false, after telling the player, when the game folder cannot be read.
  bool PrepareScript(std::string& Script, const std::string& ClientVersion);
  // Moves the bar during an UNPACK and keeps the window alive.
  void ArchiveProgress(int Percent);
  // True, and the time noted, when the messages were last handled a while ago: a
  // pump costs far more than a scanned character, and the eye cannot tell the difference.
  bool PumpDue();

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
  std::string serviceUrl_;
  // The service's answers must be signed by one of these; none: taken unsigned.
  std::vector<TPublicKey> trustedKeys_;
  TInstallOutcome lastInstall_ = TInstallOutcome::None;
  bool downloadFailedInInstall_ = false;  // reset when an install starts
  std::unique_ptr<TInstallJournal> journal_;
  std::unique_ptr<TInstallLog> log_;  // while an install or an undo runs
  // A line in the install log, while one is open.
  void Log(std::string_view text) const;
  bool installChangedGame_ = false;  // the last install recorded a change in the game folder
  // While this window installs into or undoes the game folder: no other process may.
  std::optional<TFileLock> gameFolderHold_;
  // Changes the script made in the game folder, counted apart from the journal, which should
  // have recorded them all.
  int gameChanges_ = 0;
  TDownloadRegistry downloads_;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace ovix
