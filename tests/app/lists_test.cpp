// The update service's lists in the window's boxes, with a scripted network.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "scripted_service.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
using testing::HeadlessWindow;
using testing::ScriptedService;

std::string S(std::string_view text) { return std::string(text); }

std::string Lines(int count, const std::string& prefix) {
  std::string text;
  for (int i = 1; i <= count; ++i)
    text += prefix + std::to_string(i) + " key" + std::to_string(i) + "\r\n";
  return text;
}

class ListsTest : public ::testing::Test {
 protected:
  void Open(std::string configs = "") {
    service->Answer(kConfigsRequest, std::move(configs));
    h = std::make_unique<HeadlessWindow>(TStartup{.transport = service});
    Settle();
  }
  // Lets every answer in flight arrive.
  void Settle() { ASSERT_TRUE(h->Settle()); }
  void ApplyVersions(std::string answer) {
    service->Answer(std::string(kVersionsRequest), std::move(answer));
    h->w().ApplyGameDirectory();
    Settle();
  }
  TfWindow& w() { return h->w(); }

  test::Sandbox sandbox;  // temporary files go to a throw-away folder
  std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
  std::unique_ptr<HeadlessWindow> h;
};

TEST_F(ListsTest, StartUpAsksForTheConfigurationsOnceAndAppendsThem) {
  Open("Compact compact\r\nClassic classic\r\n");
  EXPECT_EQ(service->Requests(kConfigsRequest), 1);
  EXPECT_EQ(w().cmbConfig.Items(), (std::vector<std::string>{"Default", "Compact", "Classic"}));
  EXPECT_EQ(w().cmbConfig.ItemIndex(), 0);
  EXPECT_TRUE(w().cmbConfig.Enabled());
  EXPECT_EQ(w().ConfigsFiles, (std::vector<std::string>{"compact", "classic"}));
}

TEST_F(ListsTest, NineConfigurationsFitTenAreRejectedAndAFailureChangesNothing) {
  Open(Lines(9, "C"));
  EXPECT_EQ(w().cmbConfig.ItemCount(), 10);
  EXPECT_TRUE(w().cmbConfig.Enabled());

  Open(Lines(10, "C"));
  EXPECT_EQ(w().cmbConfig.Items(), std::vector<std::string>{"Default"});
  EXPECT_EQ(w().cmbConfig.ItemIndex(), 0);
  EXPECT_FALSE(w().cmbConfig.Enabled());

  service = std::make_shared<ScriptedService>();  // answers nothing
  h = std::make_unique<HeadlessWindow>(TStartup{.transport = service});
  Settle();
  EXPECT_EQ(w().cmbConfig.Items(), std::vector<std::string>{"Default"});
  EXPECT_FALSE(w().cmbConfig.Enabled());
  EXPECT_TRUE(h->app.Messages().empty());
}

TEST_F(ListsTest, TheConfigurationPlaceholderReadsInTheLanguageInForceWhenRejected) {
  service->Answer(kConfigsRequest, Lines(12, "C"));
  TStartup startup;
  startup.transport = service;
  startup.localeId = 0x0407;  // the answer arrives after the language is chosen
  h = std::make_unique<HeadlessWindow>(startup);
  Settle();
  EXPECT_EQ(w().cmbConfig.Items(), std::vector<std::string>{"Standard"});
}

TEST_F(ListsTest, AVersionListRefillsTheBoxAndSelectsItsFirstEntry) {
  Open();
  ApplyVersions("Release-2.1 2.1\r\nRelease-2.2 2.2\r\nNightly-2.3 2.3-nightly");
  EXPECT_EQ(w().cmbOvixVersion.Items(),
            (std::vector<std::string>{"Release-2.1", "Release-2.2", "Nightly-2.3"}));
  EXPECT_EQ(w().VersionsFiles, (std::vector<std::string>{"2.1", "2.2", "2.3-nightly"}));
  EXPECT_EQ(w().cmbOvixVersion.ItemIndex(), 0);
  EXPECT_TRUE(w().cmbOvixVersion.Enabled());
  // No client found in the folder: the request still goes, with an empty version.
  EXPECT_EQ(service->Requests(kVersionsRequest), 1);
  EXPECT_EQ(w().Version, "");

  w().cmbOvixVersion.UserSelect(1);
  ApplyVersions("A a\nB b");
  EXPECT_EQ(w().cmbOvixVersion.ItemIndex(), 0);
}

TEST_F(ListsTest, TenVersionsFitElevenAndEmptyAnswersLeaveThePlaceholder) {
  Open();
  ApplyVersions(Lines(10, "V"));
  EXPECT_EQ(w().cmbOvixVersion.ItemCount(), 10);
  EXPECT_TRUE(w().cmbOvixVersion.Enabled());

  ApplyVersions(Lines(11, "V"));
  EXPECT_EQ(w().cmbOvixVersion.Items(), std::vector<std::string>{"Stable"});
  EXPECT_EQ(w().cmbOvixVersion.ItemIndex(), 0);
  EXPECT_FALSE(w().cmbOvixVersion.Enabled());

  ApplyVersions("Solo");
  EXPECT_EQ(w().cmbOvixVersion.Items(), std::vector<std::string>{"Solo"});
  EXPECT_EQ(w().VersionsFiles, std::vector<std::string>{""});
  EXPECT_EQ(w().cmbOvixVersion.ItemIndex(), 0);
  EXPECT_FALSE(w().cmbOvixVersion.Enabled());

  w().cbLanguage.UserSelect(lngRU);
  ApplyVersions(" \r\n\t\r\n");
  EXPECT_EQ(w().cmbOvixVersion.Items(), std::vector<std::string>{S(txtStable[lngRU])});
  EXPECT_EQ(w().VersionsFiles, std::vector<std::string>{""});
  EXPECT_FALSE(w().cmbOvixVersion.Enabled());
  EXPECT_TRUE(h->app.Messages().empty());
}

TEST_F(ListsTest, ANightlyRevisionIsFetchedOnceAndAppendedToEveryNightlyItem) {
  Open();
  service->Answer(kNightlyRequest, "1234");
  ApplyVersions("Nightly-2.3 a\nRelease b\nNIGHTLY c\n\"old nightly\" d");
  w().cmbOvixVersion.UserSelect(1);  // not a nightly: no request
  Settle();
  EXPECT_EQ(service->Requests(kNightlyRequest), 0);
  w().cmbOvixVersion.UserSelect(2);
  Settle();
  EXPECT_EQ(service->Requests(kNightlyRequest), 1);
  EXPECT_EQ(w().LastNightlyRev, "1234");
  EXPECT_EQ(w().cmbOvixVersion.Items(),
            (std::vector<std::string>{"Nightly-2.3 (1234)", "Release", "NIGHTLY (1234)",
                                      "old nightly (1234)"}));
  EXPECT_EQ(w().cmbOvixVersion.ItemIndex(), 2);
  // Known now: selecting a nightly again asks nothing.
  w().cmbOvixVersion.UserSelect(0);
  Settle();
  EXPECT_EQ(service->Requests(kNightlyRequest), 1);
  // A new directory forgets it.
  ApplyVersions("Nightly x\nOther y");
  EXPECT_EQ(w().LastNightlyRev, "");
  w().cmbOvixVersion.UserSelect(0);
  Settle();
  EXPECT_EQ(service->Requests(kNightlyRequest), 2);
}

TEST_F(ListsTest, ARejectedRevisionChangesNothingAndIsAskedForAgain) {
  Open();
  ApplyVersions("Nightly a\nOther b");
  service->Answer(kNightlyRequest, "1234567890");
  w().cmbOvixVersion.UserSelect(0);
  Settle();
  EXPECT_EQ(w().LastNightlyRev, "");
  EXPECT_EQ(w().cmbOvixVersion.Items()[0], "Nightly");
  service->Answer(kNightlyRequest, "12345678\n");
  w().cmbOvixVersion.UserSelect(0);
  Settle();
  EXPECT_EQ(service->Requests(kNightlyRequest), 2);
  EXPECT_EQ(w().cmbOvixVersion.Items()[0], "Nightly (12345678\n)");
}

TEST_F(ListsTest, AFailedTransferWithoutCallbackShowsTheCodeAndUnlocksButTheInstallButton) {
  Open("P p");
  for (ui::TControl* c : std::initializer_list<ui::TControl*>{
           &w().bChangeDirectory, &w().cbKeepConfig, &w().bProcess, &w().cmbConfig})
    c->SetEnabled(false);
  TAsyncDownloader download(w(), "https://nowhere.invalid/script");
  download.Start();
  ASSERT_TRUE(
      test::WaitUntil([&] { return download.Finished(); }, 30s, [&] { h->app.ProcessMessages(); }));
  EXPECT_EQ(w().pbCurrentAction.Max(), 100);
  EXPECT_EQ(w().pbCurrentAction.Position(), 100);
  EXPECT_EQ(w().pbCurrentAction.State(), ui::TProgressState::Error);
  EXPECT_TRUE(w().bChangeDirectory.Enabled());
  EXPECT_TRUE(w().cbKeepConfig.Enabled());
  EXPECT_TRUE(w().cmbConfig.Enabled());
  EXPECT_FALSE(w().bProcess.Enabled());
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_EQ(h->app.Messages()[0].text, "Error whilst downloading:\r\nURL Moniker 0x800C0005");
  EXPECT_EQ(h->app.Messages()[0].icon, ui::TMsgIcon::Warning);
}

}  // namespace
}  // namespace ovix
