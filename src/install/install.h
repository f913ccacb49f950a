#pragma once
// One install or update of the mod into a game folder, from the script's download to its
// outcome, with the journal that undoes it and the log that tells of it; the undo; the dry
// run. It speaks to its user only through a TInstallView.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "install/install_view.h"
#include "net/async_downloader.h"
#include "os/file_lock.h"
#include "trust/minisign.h"
#include "ui/application.h"

namespace ovix {

class TInstallJournal;
class TInstallLog;

// What the player chose, and what the program found, for one install.
struct TInstallChoices {
  std::string gameFolder;                 // as the script's %WOT% names it; empty: none found
  std::string clientVersion;              // the client's version; empty when unknown
  std::string versionKey;                 // the mod version the script is asked for
  std::string customScript;               // a script's file or address given to the program
  std::optional<std::string> configFile;  // the configuration's key; none: the default one
  bool keepConfig = false;
  // The whole install with nothing written, each action told to the view instead, and each
  // GETFILE's address asked for its size only.
  bool dryRun = false;
};

// What an install uses of the program that runs it.
struct TInstallServices {
  ui::Application& app;  // the UI thread's waits and hand-overs
  TTransport& transport;
  TDownloadRegistry& downloads;
  std::string serviceUrl;               // the update service; the built-in one when empty
  std::vector<TPublicKey> trustedKeys;  // trusted beside the built-in keys
};

class TInstall final : public TDownloadHost {
 public:
  TInstall(TInstallView& view, TInstallServices services);
  ~TInstall();
  TInstall(const TInstall&) = delete;
  TInstall& operator=(const TInstall&) = delete;

  // Runs one install from start to end, and offers the undo of one that failed after
  // changing the game folder. The outcome, also told to the view as soon as it is known.
  TInstallOutcome Run(const TInstallChoices& choices);
  // Puts the game folder back as it was before its last install, tells how that went, and
  // reports it to the view. False when nothing was undone.
  bool Undo(const std::string& gameFolder, bool force);
  // When a game folder is taken: sets aside journals that cannot be believed, and offers to
  // undo an install or undo of this folder that a kill cut off.
  void OfferToFinishUndo(const std::string& gameFolder);

  // Asks the service for one of its lists (a request below its base address); `received`
  // gets the answer on the UI thread, empty when it did not arrive or was refused.
  void RequestList(std::string_view request, TAsyncDownloadCallback received);

  // The script with this machine's values and the choices in place of its placeholders;
  // false, after telling the view, when the game folder cannot be read.
  bool PrepareScript(std::string& script, const TInstallChoices& choices);
  // Runs a prepared script into the choices' game folder, without journal or log; the
  // position where it stopped.
  int RunScript(const std::string& script, bool execute, const TInstallChoices& choices);

  // A line in the install log, while one is open.
  void Log(std::string_view text) const;
  // Where each install and undo is logged; empty when the system names no data folder.
  static std::string LogPath();

  // What the downloaders need.
  ui::Application& App() override { return services_.app; }
  TTransport& Transport() override { return services_.transport; }
  TDownloadRegistry& Downloads() override { return services_.downloads; }
  void DownloadProgress(std::int64_t received, std::int64_t total) override;
  void DownloadFailed(std::uint32_t code, const std::string& url) override;
  void AnswerNotSigned(const std::string& url) override;
  // What DownloadFailed tells the view, for a download no install counts as its own.
  void TellFailedTransfer(std::uint32_t code, const std::string& url);

 private:
  class ScriptHost;
  class DryRunHost;

  // The catalogue text in the view's language.
  std::string_view Tr(const TCatalogueEntry& entry) const;
  // The install after the checks and the locking.
  TInstallOutcome RunSteps(const TInstallChoices& choices);
  // Ends the journal, logs the outcome and frees the view's choices.
  void Finish(TInstallOutcome outcome);
  void BeginJournal(const std::string& gameFolder);
  void EndJournal(TInstallOutcome outcome);
  // Asks whether to undo an install that failed after changing the game folder.
  void OfferUndo(const std::string& gameFolder);
  // The whole install against a host that changes nothing and tells each action instead.
  int RunScriptDry(const std::string& script, const TInstallChoices& choices);
  // Holds the game folder for this install or undo; false when another process holds it,
  // or it cannot be locked, after telling the view of the former.
  bool HoldGameFolder(const std::string& gameFolder);
  // The install's own status and percentage lines, shown at once.
  void FeedStatus(std::string_view text);
  void FeedPercent(int value);

  TInstallView& view_;
  TInstallServices services_;
  bool downloadFailed_ = false;  // reset when an install starts
  std::unique_ptr<TInstallJournal> journal_;
  std::unique_ptr<TInstallLog> log_;  // while an install or an undo runs
  bool changedGame_ = false;          // the last install recorded a change in the game folder
  // While this install or undo runs: no other process may install into or undo the folder.
  std::optional<TFileLock> gameFolderHold_;
  // Changes the script made in the game folder, counted apart from the journal, which should
  // have recorded them all.
  int gameChanges_ = 0;
};

}  // namespace ovix
