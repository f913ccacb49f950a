#pragma once
// The in-memory backend: no screen, deterministic text metrics, message boxes
// and folder picks answered from a script. Tests and the console front end use it.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/application.h"

namespace ovix::ui {

struct ShownMessage {
  std::string text;
  std::string caption;
  TMsgIcon icon;
  TMsgButtons buttons;
  bool operator==(const ShownMessage&) const = default;
};

struct ShownPicker {
  std::string prompt;
  std::string initial;
  bool operator==(const ShownPicker&) const = default;
};

class HeadlessApplication : public Application {
 public:
  explicit HeadlessApplication(int dpi = kDesignDpi);
  ~HeadlessApplication() override;

  int Dpi() const override { return dpi_; }
  // Every character is (font height + 1) / 2 pixels wide, a line is height + 3 high.
  TSize MeasureText(const TFont& font, std::string_view text) override;
  std::unique_ptr<ControlPeer> CreatePeer(TControl& control) override;
  std::optional<std::string> BrowseForFolder(std::string_view prompt,
                                             std::string_view initial) override;
  std::optional<int> ChooseFromList(const TControl& anchor,
                                    const std::vector<std::string>& items) override;
  void ProcessMessages() override;
  void WaitForWork(std::chrono::milliseconds limit) override;
  void Run(TForm& mainForm) override;

  // Every message box shown so far, in order.
  const std::vector<ShownMessage>& Messages() const { return messages_; }
  // Hand-overs queued and not yet run, for a test that must know its workers wait.
  std::size_t QueuedSteps() { return PendingSteps(); }
  void ClearMessages() { messages_.clear(); }
  // Answers for the next Yes/No questions; unanswered questions get No.
  void QueueAnswer(TMsgResult answer) { answers_.push_back(answer); }
  // Folders the user will pick, in order; nullopt is a cancel. Unscripted picks cancel.
  void QueueFolderPick(std::optional<std::string> folder) { picks_.push_back(std::move(folder)); }
  // Indexes the player will choose from the next lists, in order; nullopt dismisses one.
  // Unscripted lists are dismissed.
  void QueueChoice(std::optional<int> index) { choices_.push_back(index); }
  // Every list shown so far, by its anchor's name and its items, in order.
  struct ShownList {
    std::string anchor;
    std::vector<std::string> items;
  };
  const std::vector<ShownList>& Lists() const { return lists_; }
  // Every folder picker opened so far, in order.
  const std::vector<ShownPicker>& Pickers() const { return pickers_; }
  // Called for every message box as it is shown (the console front end prints them).
  std::function<void(const ShownMessage&)> onMessage;
  // Called with the answer taken to each question (a queued one, else No).
  std::function<void(TMsgResult)> onAnswer;
  // Called for every change of a shown control (the console front end prints captions).
  std::function<void(const TControl&, TChange)> onChange;

 protected:
  TMsgResult ShowMessageBox(std::string_view text, TMsgIcon icon, TMsgButtons buttons) override;
  void WakeUiThread() override;

 private:
  int dpi_;
  std::vector<ShownMessage> messages_;
  std::deque<TMsgResult> answers_;
  std::deque<std::optional<std::string>> picks_;
  std::vector<ShownPicker> pickers_;
  std::deque<std::optional<int>> choices_;
  std::vector<ShownList> lists_;
};

}  // namespace ovix::ui
