// The console front end: the main window on the headless toolkit, for unattended
// installs. It does what a player would click and prints what the window would show.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "cli/cli_options.h"
#include "cli/cli_platform.h"
#include "lang/locale.h"
#include "ui/headless/headless_application.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// Long enough for a slow service, short enough not to hang an unattended job.
constexpr auto kListDeadline = 60s;

std::optional<TLanguage> LanguageByCode(const std::string& code) {
  for (int i = 0; i < kLanguageCount; ++i) {
    const auto language = static_cast<TLanguage>(i);
    if (Text(txtLanguageCode, language) == code) return language;
  }
  return std::nullopt;
}

// Lets the list answers in flight arrive.
void SettleLists(ui::Application& app, TfWindow& window) {
  const auto deadline = std::chrono::steady_clock::now() + kListDeadline;
  for (window.Downloads().Reap(); window.Downloads().Count() > 0; window.Downloads().Reap()) {
    if (std::chrono::steady_clock::now() > deadline) break;
    app.WaitForWork(10ms);
    app.ProcessMessages();
  }
  app.ProcessMessages();
}

bool ChooseItem(ui::TComboBox& box, const std::string& item, const char* what) {
  for (int i = 0; i < box.ItemCount(); ++i) {
    if (box.Items()[i] != item) continue;
    box.UserSelect(i);
    return true;
  }
  std::fprintf(stderr, "ovix-updater-cli: no %s named \"%s\"; the list holds:", what, item.c_str());
  for (const std::string& existing : box.Items()) std::fprintf(stderr, " \"%s\"", existing.c_str());
  std::fprintf(stderr, "\n");
  return false;
}

int Run(const TCliOptions& options) {
  if (!options.serviceUrl.empty()) SetProcessEnvironment("OVIX_UPDATE_URL", options.serviceUrl);
  std::optional<TLanguage> language;
  if (!options.languageCode.empty() && !(language = LanguageByCode(options.languageCode))) {
    std::fprintf(stderr, "ovix-updater-cli: unknown language \"%s\"\n",
                 options.languageCode.c_str());
    return 2;
  }

  ui::HeadlessApplication app;
  app.SetTitle("Ovix Updater");
  bool warned = false;
  app.onMessage = [&](const ui::ShownMessage& message) {
    std::printf("message: %s\n", message.text.c_str());
    std::fflush(stdout);
    if (message.icon == ui::TMsgIcon::Warning) warned = true;
  };
  TStartup startup;
  startup.localeId = UserDefaultLocaleId();
  if (!options.script.empty()) startup.arguments.push_back(options.script);
  TfWindow window(app, startup);
  app.onChange = [&](const ui::TControl& control, ui::TChange change) {
    if (change != ui::TChange::Caption) return;
    if (&control == &window.lCurrentAction) std::printf("status: %s\n", control.Caption().c_str());
    if (&control == &window.bProcess) std::printf("progress: %s\n", control.Caption().c_str());
    std::fflush(stdout);
  };
  window.Show();
  if (language) window.SetLanguage(*language);
  if (!options.gameDirectory.empty()) {
    window.WOTDir = options.gameDirectory;
    window.ApplyGameDirectory();
  }
  std::printf("game folder: %s\n", window.WOTDir.empty() ? "(none found)" : window.WOTDir.c_str());
  SettleLists(app, window);
  if (!options.versionItem.empty() &&
      !ChooseItem(window.cmbOvixVersion, options.versionItem, "version"))
    return 2;
  if (!options.configItem.empty() &&
      !ChooseItem(window.cmbConfig, options.configItem, "configuration"))
    return 2;
  if (options.keepConfig) window.cbKeepConfig.UserSetChecked(true);

  window.bProcess.Click();
  // The bar stands at 100 only when the script was prepared and run; a failed download
  // leaves it in the error state, and errors and failures show a warning.
  const bool installed = window.pbCurrentAction.Position() == 100 &&
                         window.pbCurrentAction.Max() == 100 &&
                         window.pbCurrentAction.State() == ui::TProgressState::Normal && !warned;
  std::printf("%s\n", installed ? "installed" : "not installed");
  return installed ? 0 : 1;
}

}  // namespace
}  // namespace ovix

int main(int argc, char** argv) {
  const ovix::TConsoleSession session;
  std::string error;
  const auto options =
      ovix::ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "ovix-updater-cli: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(ovix::CliHelp().c_str(), stdout);
    return 0;
  }
  return ovix::Run(*options);
}
