// The window looks for the game once, at start-up, in a throw-away Wine-style prefix.

#include <gtest/gtest.h>

#include <fstream>

#include "net/service_lists.h"
#include "scripted_service.h"
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

}  // namespace
}  // namespace ovix
