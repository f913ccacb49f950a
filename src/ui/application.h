#pragma once
// The application object: the UI thread's services that the window and the
// workers need, whatever the backend.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/controls.h"

namespace ovix::ui {

enum class TMsgIcon { Warning, Information };
enum class TMsgButtons { Ok, YesNo };
enum class TMsgResult { Ok, Yes, No };

class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The title is the caption of every message box.
  void SetTitle(std::string title) { title_ = std::move(title); }
  const std::string& Title() const { return title_; }

  // Pixels per inch of the display the main window opens on.
  virtual int Dpi() const = 0;
  // Size of the text in pixels; lines are broken at CR LF.
  virtual TSize MeasureText(const TFont& font, std::string_view text) = 0;
  virtual std::unique_ptr<ControlPeer> CreatePeer(TControl& control) = 0;

  // A modal box without owner window, captioned with the title.
  TMsgResult MessageBox(std::string_view text, TMsgIcon icon,
                        TMsgButtons buttons = TMsgButtons::Ok) {
    return ShowMessageBox(text, icon, buttons);
  }
  // A folder picker; nullopt when the user cancels.
  virtual std::optional<std::string> BrowseForFolder(std::string_view prompt,
                                                     std::string_view initial) = 0;
  // A short list of choices shown under `anchor` (a pop-up menu under a button); the index
  // chosen, nullopt when the player dismisses it.
  virtual std::optional<int> ChooseFromList(const TControl& anchor,
                                            const std::vector<std::string>& items) = 0;

  // Handles every pending message and hand-over, then returns.
  virtual void ProcessMessages() = 0;
  // Sleeps up to `limit`, waking early when a message or hand-over arrives, so a
  // wait loop of sleep-then-ProcessMessages never holds a worker up for long.
  virtual void WaitForWork(std::chrono::milliseconds limit) = 0;
  // The one wait of the UI thread: handles messages and hand-overs, sleeping up to `step`
  // between rounds (waking early when something arrives), until done() holds or the
  // application terminates. Whether done() held.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds step);
  // Shows the form and runs the message loop until it closes.
  virtual void Run(TForm& mainForm) = 0;

  // Ends the UI thread's current wait at once, from any thread: a worker that finished says
  // so, rather than leaving its waiter to notice at its next look.
  void Wake();
  // Set once the main loop has been told to quit; ends every wait.
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  void Terminate();

  // Runs step on the UI thread and waits until it has run. On the UI thread it
  // runs at once. Returns false when the step was dropped because the
  // application is terminating. An error the step raises is raised again here.
  bool Synchronize(std::function<void()> step);
  bool IsUiThread() const { return std::this_thread::get_id() == uiThread_; }
  // On the UI thread: runs hand-overs as they arrive until done() holds, so a
  // worker the UI thread waits for can still hand its steps over.
  void ServeHandOversUntil(const std::function<bool()>& done);

  // The generic error report: a warning box with the error's text.
  void ShowException(const std::exception_ptr& error);

 protected:
  virtual TMsgResult ShowMessageBox(std::string_view text, TMsgIcon icon, TMsgButtons buttons) = 0;
  // Runs the hand-overs queued so far; called by the backend's message handling.
  void RunPendingSteps();
  // Makes the UI thread run RunPendingSteps soon; called from any thread.
  virtual void WakeUiThread() = 0;
  bool HasPendingSteps() { return PendingSteps() > 0; }
  std::size_t PendingSteps();
  // Blocks the UI thread until a hand-over arrives, the application terminates
  // or wake is called; for backends without a native message queue.
  void WaitForSteps(const std::function<bool()>& wake);
  void WaitForSteps(std::chrono::milliseconds limit);

 private:
  struct PendingStep;
  std::string title_;
  std::atomic<bool> terminated_{false};
  std::thread::id uiThread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<PendingStep>> queue_;
  bool woken_ = false;  // a Wake not yet met by a wait
};

}  // namespace ovix::ui
