#pragma once
// What an install tells the one who started it, and what it asks: the window shows it on its
// controls, the console program prints it. Every call comes on the UI thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "lang/languages.h"

namespace ovix {

struct TUndoReport;

// What an install came to.
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

enum class TNoticeKind { Information, Warning };
enum class TBarState { Normal, Failed };

class TInstallView {
 public:
  // The language of the texts told and of the script's status lines taken.
  virtual TLanguage Language() const = 0;
  // An install begins (the player's choices are locked) or ends (they are free again).
  virtual void Running(bool running) = 0;
  // The status line and the install button's caption with its percentage, as the install
  // sets them; a view may hold them back until the next Present.
  virtual void Status(std::string_view caption) = 0;
  virtual void Percent(std::string_view caption) = 0;
  // What Status and Percent told, shown now: before a long step, and at the end.
  virtual void Present() = 0;
  // The bar: a position out of a maximum, and whether what it measures failed.
  virtual void Progress(std::int64_t position, std::int64_t maximum,
                        TBarState state = TBarState::Normal) = 0;
  // A file action that left something undone; the install goes on.
  virtual void Warning(std::string_view problem) = 0;
  virtual void Message(std::string_view text, TNoticeKind kind) = 0;
  // A question answered yes (true) or no.
  virtual bool Question(std::string_view text) = 0;
  virtual void Outcome(TInstallOutcome outcome) = 0;
  // Called often during long work, so a view with a window can keep it responding.
  virtual void KeepAlive() = 0;

  // What a view may report beyond what it shows: each download that failed, each answer
  // refused for want of a trusted signature, each action of a dry run, each undo.
  virtual void TransferFailed(const std::string& url, std::uint32_t code) {
    static_cast<void>(url);
    static_cast<void>(code);
  }
  virtual void AnswerRefused(const std::string& url) { static_cast<void>(url); }
  virtual void DryRunAction(std::string_view action) { static_cast<void>(action); }
  virtual void Undone(const TUndoReport& report) { static_cast<void>(report); }

 protected:
  ~TInstallView() = default;
};

}  // namespace ovix
