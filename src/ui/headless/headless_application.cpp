#include "ui/headless/headless_application.h"

#include <algorithm>

#include "os/text.h"
#include "ui/control_peer.h"

namespace ovix::ui {
namespace {

// Nothing to mirror: the control's own state is the whole truth. Changes are told to
// whoever watches the application.
class HeadlessPeer final : public ControlPeer {
 public:
  HeadlessPeer(HeadlessApplication& app, TControl& control) : app_(app), control_(control) {}
  void Update(TChange change) override {
    if (app_.onChange) app_.onChange(control_, change);
  }

 private:
  HeadlessApplication& app_;
  TControl& control_;
};

}  // namespace

HeadlessApplication::HeadlessApplication(int dpi) : dpi_(dpi) {}

HeadlessApplication::~HeadlessApplication() = default;

TSize HeadlessApplication::MeasureText(const TFont& font, std::string_view text) {
  std::size_t widest = 0;
  int lines = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    const std::string_view line =
        text.substr(start, end == std::string_view::npos ? end : end - start);
    widest = std::max(widest, Utf16Length(line));
    ++lines;
    if (end == std::string_view::npos) break;
    start = end + 2;
  }
  return {static_cast<int>(widest) * ((font.height + 1) / 2), lines * (font.height + 3)};
}

std::unique_ptr<ControlPeer> HeadlessApplication::CreatePeer(TControl& control) {
  return std::make_unique<HeadlessPeer>(*this, control);
}

TMsgResult HeadlessApplication::ShowMessageBox(std::string_view text, TMsgIcon icon,
                                               TMsgButtons buttons) {
  ShownMessage shown{std::string(text), Title(), icon, buttons};
  messages_.push_back(shown);
  if (onMessage) onMessage(shown);
  // A modal box keeps the UI thread serving hand-overs while it is open.
  RunPendingSteps();
  if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
  TMsgResult answer = TMsgResult::No;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  if (onAnswer) onAnswer(answer);
  return answer;
}

std::optional<std::string> HeadlessApplication::BrowseForFolder(std::string_view prompt,
                                                                std::string_view initial) {
  pickers_.push_back({std::string(prompt), std::string(initial)});
  if (picks_.empty()) return std::nullopt;
  std::optional<std::string> pick = std::move(picks_.front());
  picks_.pop_front();
  return pick;
}

std::optional<int> HeadlessApplication::ChooseFromList(const TControl& anchor,
                                                       const std::vector<std::string>& items) {
  lists_.push_back({anchor.Name(), items});
  if (choices_.empty()) return std::nullopt;
  const std::optional<int> choice = choices_.front();
  choices_.pop_front();
  if (choice && (*choice < 0 || *choice >= static_cast<int>(items.size()))) return std::nullopt;
  return choice;
}

void HeadlessApplication::ProcessMessages() { RunPendingSteps(); }

void HeadlessApplication::WaitForWork(std::chrono::milliseconds limit) { WaitForSteps(limit); }

void HeadlessApplication::Run(TForm& mainForm) {
  mainForm.Show();
  while (mainForm.Visible() && !Terminated()) {
    WaitForSteps([&] { return !mainForm.Visible(); });
    RunPendingSteps();
  }
  Terminate();
}

void HeadlessApplication::WakeUiThread() {
  // Synchronize notifies the waiting condition itself.
}

}  // namespace ovix::ui
