// The window looks for the game once, at start-up, in a throw-away Wine-style prefix.

#include <gtest/gtest.h>

#include <fstream>

#include "net/service_lists.h"
#include "os/windows_path.h"
#include "scripted_service.h"
#include "support/client_homes.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using testing::HeadlessWindow;
using testing::ScriptedService;

TEST(StartupSearch, AFoundGameIsAppliedAndNothingFoundStaysSilent) {
  test::Sandbox box;
  const auto service = std::make_shared<ScriptedService>();
  TStartup startup;
  startup.transport = service;
  {
    HeadlessWindow h(startup);
    EXPECT_EQ(h.w().WOTDir, "");
    EXPECT_EQ(h.w().eDirectory.Caption(), "");
    EXPECT_TRUE(h.app.Messages().empty());
  }
  EXPECT_EQ(service->Requests(kVersionsRequest), 0);

  const auto client = box.Local("C:\\World_of_Tanks\\WorldOfTanks.exe");
  std::filesystem::create_directories(client.parent_path());
  std::ofstream(client) << "x";
  HeadlessWindow h(startup);
  EXPECT_EQ(h.w().WOTDir, "C:\\World_of_Tanks");
  EXPECT_EQ(h.w().eDirectory.Caption(), "C:\\World_of_Tanks");
  EXPECT_TRUE(test::WaitUntil([&] { return service->Requests(kVersionsRequest) == 1; },
                              std::chrono::seconds(30)));
}

TEST(StartupSearch, ModifyListsTheClientsFoundAndTakesTheOneChosen) {
  test::ClientHomes homes(OVIX_TEST_EXE_DIR);
  const auto lutris = homes.Home() / "Games/wot";
  homes.Prefix(lutris);
  homes.Client(lutris / "drive_c/Games/World_of_Tanks_EU");
  homes.Prefix(homes.Home() / ".wine");
  homes.Client(homes.Home() / ".wine/drive_c/World_of_Tanks", "version_1_2_3_4.exe");
  const auto steamGame = homes.Disk() / "lib/steamapps/common/World of Tanks";
  homes.Client(steamGame, "version_0_9_18_0.exe");
  const auto service = std::make_shared<ScriptedService>();
  TStartup startup;
  startup.transport = service;
  HeadlessWindow h(startup);
  // The first found is taken, through its prefix.
  EXPECT_EQ(h.w().WOTDir, "C:\\Games\\World_of_Tanks_EU");
  EXPECT_EQ(h.w().Version, "1.10.2");
  EXPECT_EQ(WinePrefixInUse(), lutris);

  h.app.QueueChoice(1);
  h.w().bChangeDirectory.Click();
  ASSERT_EQ(h.app.Lists().size(), 1u);
  EXPECT_EQ(h.app.Lists()[0].anchor, "bChangeDirectory");
  const std::string wine = std::filesystem::canonical(homes.Home() / ".wine/drive_c").string();
  EXPECT_EQ(h.app.Lists()[0].items,
            (std::vector<std::string>{
                std::filesystem::canonical(lutris / "drive_c/Games/World_of_Tanks_EU").string() +
                    " (1.10.2)",
                wine + "/World_of_Tanks (1.2.3)", "Other folder…"}));
  EXPECT_EQ(h.w().WOTDir, "C:\\World_of_Tanks");
  EXPECT_EQ(h.w().eDirectory.Caption(), "C:\\World_of_Tanks");
  EXPECT_EQ(h.w().Version, "1.2.3");
  EXPECT_EQ(WinePrefixInUse(), homes.Home() / ".wine");

  // Another folder, picked as this system names it: first one without a client.
  h.app.QueueChoice(2);
  h.app.QueueFolderPick(homes.Disk().string());
  h.app.QueueAnswer(ui::TMsgResult::Yes);
  h.app.QueueFolderPick(steamGame.string());
  h.w().bChangeDirectory.Click();
  EXPECT_EQ(h.app.Pickers().size(), 2u);
  EXPECT_EQ(h.app.Pickers()[1].initial, homes.Disk().string());
  EXPECT_EQ(h.w().WOTDir, test::ClientHomes::OnDriveZ(steamGame));
  EXPECT_EQ(h.w().Version, "0.9.18");
  ASSERT_EQ(h.w().FoundClients.size(), 3u);
  EXPECT_EQ(h.w().FoundClients.back().folder, std::filesystem::canonical(steamGame).string());

  // Dismissed, the list changes nothing.
  h.app.QueueChoice(std::nullopt);
  h.w().bChangeDirectory.Click();
  EXPECT_EQ(h.w().WOTDir, test::ClientHomes::OnDriveZ(steamGame));
  EXPECT_EQ(h.app.Lists().size(), 3u);
}

}  // namespace
}  // namespace ovix
