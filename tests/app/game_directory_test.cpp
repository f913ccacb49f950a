// The game folder: found at start-up, or chosen by the player with the picker.

#include <gtest/gtest.h>

#include <fstream>

#include "net/service_lists.h"
#include "scripted_service.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "window_fixture.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using testing::HeadlessWindow;
using testing::ScriptedService;

class GameDirectoryTest : public ::testing::Test {
 protected:
  void Open() { h = std::make_unique<HeadlessWindow>(TStartup{.transport = service}); }
  std::string P(const std::string& relative) const { return box.Dir() + "\\" + relative; }
  void PlaceGame(const std::string& relative) const {
    const fs::path client = box.Local(P(relative + "\\worldoftanks.exe"));
    fs::create_directories(client.parent_path());
    std::ofstream(client) << "x";
  }
  TfWindow& w() { return h->w(); }
  int VersionRequests() { return service->Requests(std::string(kVersionsRequest)); }

  test::Sandbox box;
  std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
  std::unique_ptr<HeadlessWindow> h;
};

TEST_F(GameDirectoryTest, AWrongPickAsksAgainWithThatFolderPreselected) {
  Open();
  PlaceGame("game");
  fs::create_directories(box.Local(P("elsewhere")));
  h->app.QueueFolderPick(P("elsewhere"));
  h->app.QueueAnswer(ui::TMsgResult::Yes);
  h->app.QueueFolderPick(P("game"));
  w().bChangeDirectory.Click();

  EXPECT_EQ(w().WOTDir, P("game"));
  EXPECT_EQ(w().eDirectory.Caption(), P("game"));
  const std::string prompt(Text(txtSelectDirectory, lngEN));
  EXPECT_EQ(h->app.Pickers(),
            (std::vector<ui::ShownPicker>{{prompt, ""}, {prompt, P("elsewhere")}}));
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_EQ(h->app.Messages()[0].text, Text(txtRetryDirectory, lngEN));
  EXPECT_EQ(h->app.Messages()[0].buttons, ui::TMsgButtons::YesNo);
  EXPECT_EQ(h->app.Messages()[0].icon, ui::TMsgIcon::Warning);
}

TEST_F(GameDirectoryTest, CancelOrNoChangesNothingAndTheSameFolderAppliesAgain) {
  Open();
  PlaceGame("game");
  w().bChangeDirectory.Click();  // cancelled
  h->app.QueueFolderPick(P("nogame"));
  h->app.QueueAnswer(ui::TMsgResult::No);
  w().bChangeDirectory.Click();
  EXPECT_EQ(w().WOTDir, "");
  EXPECT_EQ(w().eDirectory.Caption(), "");
  EXPECT_EQ(VersionRequests(), 0);

  w().SetLanguage(lngDE);
  h->app.QueueFolderPick(P("game"));
  w().bChangeDirectory.Click();
  h->app.QueueFolderPick(P("game"));
  w().bChangeDirectory.Click();
  EXPECT_EQ(w().WOTDir, P("game"));
  EXPECT_EQ(h->app.Pickers().back().prompt, Text(txtSelectDirectory, lngDE));
  // Each acceptance applies the folder: its client version is read and the list requested.
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        h->app.ProcessMessages();
        return VersionRequests() == 2;
      },
      std::chrono::seconds(30)));
}

}  // namespace
}  // namespace ovix
