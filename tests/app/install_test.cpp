// The install button's workflow on a headless window with a scripted service.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "install/install_log.h"
#include "net/service_lists.h"
#include "os/files.h"
#include "script/install_journal.h"
#include "scripted_service.h"
#include "support/sandbox.h"
#ifndef _WIN32
#include "support/scoped_environment.h"
#endif
#include "window_fixture.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using testing::ClosingService;
using testing::HeadlessWindow;
using testing::ScriptedService;

const std::string kInstall = "Install / Update";

class InstallTest : public ::testing::Test {
 protected:
  InstallTest() {
    h = std::make_unique<HeadlessWindow>(TStartup{.transport = service});
    w().WOTDir = box.Dir();
    w().Version = "1.5.0";
    w().cmbOvixVersion.ClearItems();
    for (const char* item : {"Stable", "Release 2.2"}) w().cmbOvixVersion.AddItem(item);
    w().VersionsFiles = {"2.1", "2.2"};
    w().cmbOvixVersion.SetItemIndex(0);
  }
  TfWindow& w() { return h->w(); }
  std::string ScriptUrl(const std::string& key) {
    return DefaultUpdateServiceUrl() + std::string(kScriptRequest) + key;
  }
  std::string Action() const { return std::string(Text(txtCurrentAction, lngEN)); }
  // Whether the option controls and the button can be used.
  std::string Unlocked() {
    std::string state;
    for (const ui::TControl* control : std::initializer_list<const ui::TControl*>{
             &w().bChangeDirectory, &w().cbKeepConfig, &w().bProcess, &w().cmbOvixVersion})
      state += control->Enabled() ? "1" : "0";
    return state;
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = box.Dir() + "\\" + name;
    std::ofstream(box.Local(path), std::ios::binary) << text;
    return path;
  }

  test::Sandbox box;
  std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
  std::unique_ptr<HeadlessWindow> h;
};

TEST_F(InstallTest, WithoutAGameFolderOnlyTheNoticeShows) {
  w().WOTDir.clear();
  const std::string before = Unlocked();
  w().bProcess.Click();
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_EQ(h->app.Messages()[0].text, Text(txtDirectoryNotDetected, lngEN));
  EXPECT_EQ(h->app.Messages()[0].icon, ui::TMsgIcon::Warning);
  EXPECT_EQ(Unlocked(), before);
  EXPECT_EQ(w().bProcess.Caption(), kInstall);
  EXPECT_EQ(service->Requests(std::string(kScriptRequest) + "1.5.0"), 0);
}

TEST_F(InstallTest, AServiceScriptForTheChosenVersionRunsAndTheWindowUnlocks) {
  service->AnswerAddress(ScriptUrl("2.2"), "PERCENT = 50\r\nSTATUS_en = Done\r\n");
  w().pbCurrentAction.SetState(ui::TProgressState::Error);
  w().cmbOvixVersion.SetItemIndex(1);
  w().bProcess.Click();
  EXPECT_TRUE(h->app.Messages().empty());
  EXPECT_EQ(service->Requests(std::string(kScriptRequest) + "2.2"), 1);
  EXPECT_EQ(w().lCurrentAction.Caption(), Action() + "Done");
  EXPECT_EQ(w().bProcess.Caption(), kInstall);
  EXPECT_EQ(w().pbCurrentAction.Position(), 100);
  EXPECT_EQ(w().pbCurrentAction.Max(), 100);
  EXPECT_EQ(w().pbCurrentAction.State(), ui::TProgressState::Normal);
  EXPECT_EQ(Unlocked(), "1111");
}

TEST_F(InstallTest, AnOverrideFileRunsWithoutDownloadingAndAnEmptyOneIsPassedOver) {
  w().CustomScript = WriteFile("mine.txt", "STATUS_en = From the file");
  w().bProcess.Click();
  EXPECT_EQ(w().lCurrentAction.Caption(), Action() + "From the file");
  EXPECT_EQ(service->Requests(std::string(kScriptRequest) + "1.5.0"), 0);

  service->AnswerAddress(ScriptUrl("1.5.0"), "STATUS_en = From the service");
  w().CustomScript = WriteFile("empty.txt", "");
  w().bProcess.Click();
  EXPECT_EQ(w().lCurrentAction.Caption(), Action() + "From the service");

  // Not a file: the text is the script's address, whatever version is chosen.
  service->AnswerAddress("http://scripts.test/own", "STATUS_en = From the address");
  w().CustomScript = "http://scripts.test/own";
  w().cmbOvixVersion.SetItemIndex(1);
  w().bProcess.Click();
  EXPECT_EQ(w().lCurrentAction.Caption(), Action() + "From the address");
  EXPECT_TRUE(h->app.Messages().empty());
}

TEST_F(InstallTest, AFailedScriptDownloadIsReportedAndUnlocks) {
  w().bProcess.Click();
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_NE(h->app.Messages()[0].text.find("0x800C0005"), std::string::npos);
  EXPECT_EQ(w().lCurrentAction.Caption(),
            Action() + std::string(Text(txtDownloadingScript, lngEN)));
  EXPECT_EQ(w().pbCurrentAction.State(), ui::TProgressState::Error);
  EXPECT_EQ(w().bProcess.Caption(), kInstall);
  EXPECT_EQ(Unlocked(), "1111");
}

TEST_F(InstallTest, StatusLinesFollowALanguageSwitchDuringTheScriptDownload) {
  service->AnswerAddress(ScriptUrl("1.5.0"), "PERCENT = 50\r\n");
  w().SetLanguage(lngDE);
  service->During(ScriptUrl("1.5.0"), [&] { h->app.Synchronize([&] { w().SetLanguage(lngFR); }); });
  w().bProcess.Click();
  EXPECT_EQ(w().lCurrentAction.Caption(), std::string(Text(txtCurrentAction, lngFR)) +
                                              std::string(Text(txtCollectingInfo, lngFR)));
}

TEST_F(InstallTest, AnErrorInTheScriptIsReportedAndTheWindowStillUnlocks) {
  w().CustomScript =
      WriteFile("bad.txt", "STATUS_en = Half\r\nPERCENT = lots\r\nSTATUS_en = Never");
  w().bProcess.Click();
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_NE(h->app.Messages()[0].text.find("lots"), std::string::npos);
  EXPECT_EQ(w().lCurrentAction.Caption(), Action() + "Half");
  EXPECT_EQ(w().bProcess.Caption(), kInstall);
  EXPECT_EQ(Unlocked(), "1111");
}

TEST_F(InstallTest, AFailedInstallOffersItsUndoAndSoDoesTheNextStartAfterAKill) {
  const std::string target = WriteFile("a.txt", "old");
  WriteFile("new.txt", "new");
  w().CustomScript =
      WriteFile("s.txt", "COPY " + box.Dir() + "\\new.txt " + target + "\r\nUNPACK " + box.Dir() +
                             "\\missing.zip " + box.Dir() + "\r\n");
  h->app.QueueAnswer(ui::TMsgResult::Yes);
  w().bProcess.Click();
  EXPECT_EQ(w().LastInstallOutcome(), TInstallOutcome::Error);
  const auto& shown = h->app.Messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[0].text.find("missing.zip"), std::string::npos);
  EXPECT_EQ(shown[1].text, Text(txtUndoInstall, lngEN));
  EXPECT_EQ(shown[1].buttons, ui::TMsgButtons::YesNo);
  EXPECT_EQ(shown[2].text, Text(txtUndoDone, lngEN));
  EXPECT_EQ(ReadWholeFile(box.Local(target)), "old");

  // A kill cut the next install off after its first change: the next start offers to finish.
  {
    std::string error;
    const auto journal =
        TInstallJournal::Begin(UserDataFolder().value(), box.Local(box.Dir()), error);
    ASSERT_TRUE(journal) << error;
    ASSERT_TRUE(journal->BeforeWrite(box.Local(target)));
    fs::remove(box.Local(target));
    WriteFile("a.txt", "half");
  }
  ui::HeadlessApplication app;
  app.QueueAnswer(ui::TMsgResult::Yes);
  const TfWindow next(app, TStartup{.transport = service, .gameDirectory = box.Dir()});
  ASSERT_EQ(app.Messages().size(), 2u);
  EXPECT_EQ(app.Messages()[0].text, Text(txtUndoInstall, lngEN));
  EXPECT_EQ(app.Messages()[1].text, Text(txtUndoDone, lngEN));
  EXPECT_EQ(ReadWholeFile(box.Local(target)), "old");
}

// The log moves on only as an install begins, so no install's lines are split between two files.
TEST(InstallLog, AtAMegabyteTheLogMovesOnAndThreeFilesAreKept) {
  test::Sandbox box;
  const fs::path folder = box.Root() / "data";
  const std::string line(1000, 'x');
  for (int round = 0; round < 6; ++round) {
    // Each log object as one install opens it; this one grows past the limit.
    TInstallLog log(folder);
    for (int i = 0; i < 700; ++i) log.Line(std::to_string(round) + " " + line);
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"install.log", "install.log.1", "install.log.2"}));
  // Rounds 0 and 1, 2 and 3, 4 and 5 share a file, each round whole.
  for (const auto& [name, rounds] : std::initializer_list<std::pair<const char*, std::string>>{
           {"install.log.2", "01"}, {"install.log.1", "23"}, {"install.log", "45"}}) {
    const std::string text = ReadWholeFile(folder / name).value_or("");
    for (const char round : std::string("012345")) {
      const std::string mark = std::string("Z  ") + round + " ";
      std::size_t lines = 0;
      for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
        ++lines;
      EXPECT_EQ(lines, rounds.find(round) != std::string::npos ? 700u : 0u)
          << name << " round " << round;
    }
  }
}

TEST_F(InstallTest, EachWayAnInstallEndsIsItsOutcome) {
  EXPECT_EQ(w().LastInstallOutcome(), TInstallOutcome::None);
  const std::pair<std::string, TInstallOutcome> runs[] = {
      {"<none>", TInstallOutcome::ScriptDownloadFailed},
      {"", TInstallOutcome::NoScript},
      {"PERCENT = 100", TInstallOutcome::Installed},
      {"GETFILE http://packages.test/none.zip %TEMP%\\none.zip\r\nPERCENT = 100",
       TInstallOutcome::DownloadFailed},
      {"PERCENT = lots", TInstallOutcome::Error},
  };
  for (const auto& [script, outcome] : runs) {
    if (script != "<none>") service->AnswerAddress(ScriptUrl("1.5.0"), script);
    w().bProcess.Click();
    EXPECT_EQ(w().LastInstallOutcome(), outcome) << script;
  }
  w().WOTDir.clear();
  w().bProcess.Click();
  EXPECT_EQ(w().LastInstallOutcome(), TInstallOutcome::NoGameFolder);
}

TEST(InstallClosing, ClosingDuringTheScriptDownloadLeavesTheWindowLocked) {
  test::Sandbox box;
  ui::HeadlessApplication app(ui::kDesignDpi);
  TStartup startup;
  startup.transport = std::make_shared<ClosingService>(app);
  TfWindow window(app, startup);
  window.WOTDir = box.Dir();
  window.bProcess.Click();
  EXPECT_FALSE(window.bProcess.Enabled());
  EXPECT_FALSE(window.bChangeDirectory.Enabled());
  EXPECT_EQ(window.bProcess.Caption(), kInstall + " (0%)");
  EXPECT_EQ(window.LastInstallOutcome(), TInstallOutcome::Closing);
}

// Closed during a GETFILE, after a change: the install is unfinished in the log and the
// journal, so the next start offers to undo it.
TEST(InstallClosing, ClosingDuringAGetfileLeavesTheInstallUnfinished) {
  test::Sandbox box;
#ifndef _WIN32
  // Tests run beside this one install too: its log is its own.
  ScopedEnvironment data("OVIX_DATA_DIR");
  data.Set((box.Root() / "data").string());
#endif
  ui::HeadlessApplication app(ui::kDesignDpi);
  TStartup startup;
  startup.transport = std::make_shared<ClosingService>(app);
  TfWindow window(app, startup);
  window.WOTDir = box.Dir();
  std::ofstream(box.Local(box.Dir() + "\\a.txt")) << "a";
  std::ofstream(box.Local(box.Dir() + "\\s.txt"))
      << "COPY %WOT%\\a.txt %WOT%\\b.txt\r\nGETFILE http://packages.test/m.zip %WOT%\\m.zip\r\n";
  window.CustomScript = box.Dir() + "\\s.txt";
  // Where the data folder is shared by the tests, the log holds their installs before.
  const std::size_t earlier = ReadWholeFile(TfWindow::InstallLogPath()).value_or("").size();
  window.bProcess.Click();
  EXPECT_EQ(window.LastInstallOutcome(), TInstallOutcome::Closing);
  EXPECT_TRUE(HasUnfinishedJournal(UserDataFolder().value(), box.Local(box.Dir())));
  std::string log = ReadWholeFile(TfWindow::InstallLogPath()).value_or("");
  if (log.size() >= earlier) log.erase(0, earlier);  // else it was moved on at this install
  EXPECT_NE(log.find("stopped, the program is closing"), std::string::npos) << log;
  EXPECT_EQ(log.find("Z  installed"), std::string::npos) << log;
  EXPECT_NE(log.find(InstallOutcomeWords(TInstallOutcome::Closing)), std::string::npos) << log;
}

}  // namespace
}  // namespace ovix
