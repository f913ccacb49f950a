#include "app/main_window.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "game/discovery.h"
#include "lang/locale.h"
#include "net/service_lists.h"
#include "os/files.h"
#include "res/flags.h"

namespace ovix {
namespace {

using ui::akBottom;
using ui::akLeft;
using ui::akRight;
using ui::akTop;
using ui::TControlArgs;
using ui::TFont;

constexpr int kFlagWidth = 16;
constexpr int kFlagHeight = 11;
constexpr int kLanguageItemHeight = 18;

ui::TFormArgs WindowArgs() {
  return {.className = "TfWindow", .clientSize = {514, 285}, .font = TFont{"Tahoma", 13, false}};
}

}  // namespace

// Positions and sizes are at 120 ppi; the controls scale them to the display.
TfWindow::TfWindow(ui::Application& app, const TStartup& startup)
    : ui::TForm(app, WindowArgs()),
      lWarning(app, *this,
               {.name = "lWarning",
                .bounds = {8, 7, 481, 32},
                .anchors = akLeft | akTop | akRight,
                .font = TFont{"Tahoma", 13, true}}),
      gbOptions(app, *this,
                {.name = "gbOptions",
                 .bounds = {8, 47, 497, 113},
                 .anchors = akLeft | akTop,
                 .tabOrder = 0}),
      cbKeepConfig(app, gbOptions,
                   {.name = "cbKeepConfig",
                    .bounds = {16, 52, 465, 17},
                    .anchors = akLeft | akBottom,
                    .tabOrder = 0}),
      eDirectory(app, gbOptions,
                 {.name = "eDirectory",
                  .bounds = {16, 23, 342, 22},
                  .anchors = akLeft | akTop | akRight | akBottom,
                  .tabOrder = 1,
                  .font = TFont{"Tahoma", 14, false},
                  .enabled = false}),
      bChangeDirectory(app, gbOptions,
                       {.name = "bChangeDirectory",
                        .bounds = {370, 22, 111, 24},
                        .anchors = akLeft | akTop,
                        .tabOrder = 2}),
      bProcess(app, *this,
               {.name = "bProcess",
                .bounds = {316, 252, 190, 25},
                .anchors = akRight | akBottom,
                .tabOrder = 1}),
      lOvixversion(
          app, gbOptions,
          {.name = "lOvixversion", .bounds = {16, 81, 92, 16}, .anchors = akLeft | akBottom}),
      cmbOvixVersion(app, gbOptions,
                     {.name = "cmbOvixVersion",
                      .bounds = {114, 78, 134, 24},
                      .anchors = akLeft | akBottom,
                      .tabOrder = 3,
                      .enabled = false}),
      lConfig(app, gbOptions,
              {.name = "lConfig", .bounds = {264, 81, 85, 16}, .anchors = akLeft | akBottom}),
      cmbConfig(app, gbOptions,
                {.name = "cmbConfig",
                 .bounds = {354, 78, 127, 24},
                 .anchors = akLeft | akBottom,
                 .tabOrder = 4,
                 .enabled = false}),
      ilLanguages(kFlagWidth, kFlagHeight),
      gbProgress(app, *this,
                 {.name = "gbProgress",
                  .bounds = {8, 167, 497, 78},
                  .anchors = akLeft | akTop | akRight,
                  .tabOrder = 2}),
      lCurrentAction(
          app, gbProgress,
          {.name = "lCurrentAction", .bounds = {16, 53, 97, 16}, .anchors = akLeft | akTop}),
      pbCurrentAction(app, gbProgress,
                      {.name = "pbCurrentAction",
                       .bounds = {16, 22, 465, 25},
                       .anchors = akLeft | akTop | akRight,
                       .tabOrder = 0}),
      cbLanguage(app, *this,
                 {.name = "cbLanguage",
                  .bounds = {8, 253, 45, 24},
                  .anchors = akLeft | akBottom,
                  .tabOrder = 3,
                  .font = TFont{"Tahoma", 13, false}},
                 ui::TComboStyle::OwnerDrawFixed, kLanguageItemHeight) {
  transport_ = startup.transport ? startup.transport : CreatePlatformTransport();
  install_ = std::make_unique<TInstall>(static_cast<TInstallView&>(*this),
                                        TInstallServices{.app = app,
                                                         .transport = *transport_,
                                                         .downloads = downloads_,
                                                         .serviceUrl = startup.serviceUrl,
                                                         .trustedKeys = startup.trustedKeys});
  for (const ui::Bitmap& flag : FlagImages()) ilLanguages.Add(flag);
  cbKeepConfig.onClick = [this] { cbKeepConfigClick(); };
  bChangeDirectory.onClick = [this] { bChangeDirectoryClick(); };
  bProcess.onClick = [this] { bProcessClick(); };
  cbLanguage.onChange = [this] { cbLanguageChange(); };
  cmbOvixVersion.onChange = [this] { cmbOvixVersionChange(); };
  cbLanguage.onDrawItem = [this](ui::TComboBox& control, int index, const ui::TRect& rect,
                                 ui::TCanvas& canvas) {
    cbLanguageDrawItem(control, index, rect, canvas);
  };
  onDpiChanged = [this] { PlaceOptionBoxes(); };
  FormCreate(startup);
}

TfWindow::~TfWindow() {
  App().Terminate();
  transport_->AbortAll();
  downloads_.JoinAll();
}

void TfWindow::FormCreate(const TStartup& startup) {
  VersionsFiles.clear();
  ConfigsFiles.clear();
  // Still English here: the language is chosen two steps later.
  cmbOvixVersion.AddItem(std::string(Tr(txtStable)));
  cmbOvixVersion.SetItemIndex(0);
  cmbConfig.AddItem(std::string(Tr(txtDefault)));
  cmbConfig.SetItemIndex(0);
  RequestConfigurationList();
  SetLanguage(LanguageFromLocaleId(startup.localeId));
  FillLanguagePicker();
  TakeCommandLine(startup.arguments);
  if (startup.gameDirectory.empty()) {
    FindGameDirectory();
  } else {
    WOTDir = startup.gameDirectory;
    ApplyGameDirectory();
  }
}

void TfWindow::FillLanguagePicker() {
  cbLanguage.ClearItems();
  for (int i = 0; i < ilLanguages.Count(); ++i) cbLanguage.AddItem("");
  cbLanguage.SetItemIndex(currentLanguage);
}

void TfWindow::TakeCommandLine(const std::vector<std::string>& arguments) {
  CustomScript.clear();
  if (arguments.empty()) return;
  // Only the first argument counts; whether it names a file or an address is
  // decided when an install starts.
  CustomScript = arguments.front();
  App().MessageBox(Tr(txtScriptForced), ui::TMsgIcon::Information);
}

void TfWindow::RequestConfigurationList() {
  RequestList(kConfigsRequest, &TfWindow::ConfigsReceived);
}

void TfWindow::FindGameDirectory() {
  // Nothing found stays silent: the install button tells the player.
  if constexpr (kClientsLiveInPrefixes) {
    FoundClients = FindGameClients();
    if (!FoundClients.empty()) TakeClient(FoundClients.front());
    return;
  }
  SearchGameDirectory([this](const std::string& directory) {
    WOTDir = directory;
    ApplyGameDirectory();
  });
}

void TfWindow::TakeClient(const TGameClient& client) {
  UseClientPrefix(client);
  WOTDir = client.windowsPath;
  ApplyGameDirectory();
}

void TfWindow::bChangeDirectoryClick() {
  if (FoundClients.empty()) return PickGameFolder();
  std::vector<std::string> items;
  for (const TGameClient& client : FoundClients) items.push_back(ClientCaption(client));
  items.emplace_back(Tr(txtOtherFolder));
  const std::optional<int> choice = App().ChooseFromList(bChangeDirectory, items);
  if (!choice) return;
  if (*choice < static_cast<int>(FoundClients.size())) {
    // A copy: the list may change while the client is taken.
    TakeClient(TGameClient(FoundClients[static_cast<std::size_t>(*choice)]));
    return;
  }
  PickGameFolder();
}

void TfWindow::PickGameFolder() {
  std::string chosen;
  for (;;) {
    // A folder of this system, rather than a Windows path, comes from a picker that knows no
    // prefixes: the client in it says which prefix is the game's.
    const bool local = chosen.starts_with('/');
    std::error_code error;
    const bool exists =
        local ? std::filesystem::is_directory(chosen, error) : DirectoryExists(chosen);
    // The previous pick is offered again, so a near miss is one click from the right folder.
    const std::string initial = !chosen.empty() && exists ? chosen : "";
    const std::optional<std::string> picked =
        App().BrowseForFolder(Tr(txtSelectDirectory), initial);
    if (!picked) return;
    chosen = *picked;
    if (chosen.starts_with('/')) {
      if (const std::optional<TGameClient> client = ClientAt(chosen, FoundClients)) {
        if (std::find(FoundClients.begin(), FoundClients.end(), *client) == FoundClients.end())
          FoundClients.push_back(*client);
        TakeClient(*client);
        return;
      }
    } else if (IsGameDirectory(chosen)) {
      WOTDir = chosen;
      ApplyGameDirectory();
      return;
    }
    if (App().MessageBox(Tr(txtRetryDirectory), ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo) ==
        ui::TMsgResult::No)
      return;
  }
}

void TfWindow::ApplyEnablingRule() {
  bChangeDirectory.SetEnabled(true);
  cbKeepConfig.SetEnabled(true);
  if (cmbConfig.ItemCount() > 1 && !cbKeepConfig.Checked()) cmbConfig.SetEnabled(true);
  if (cmbOvixVersion.ItemCount() > 1) cmbOvixVersion.SetEnabled(true);
}

void TfWindow::cbKeepConfigClick() {
  if (cbKeepConfig.Checked()) {
    cmbConfig.SetEnabled(false);
  } else if (cmbConfig.ItemCount() > 1) {
    cmbConfig.SetEnabled(true);
  }
}

}  // namespace ovix
