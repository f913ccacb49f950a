// Install scripts run against a headless window, on real files.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "install/script_check.h"
#include "os/files.h"
#include "os/folders.h"
#include "script/unpack.h"
#include "scripted_service.h"
#include "support/sandbox.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::ClosingService;
using testing::HeadlessWindow;
using testing::ScriptedService;

const std::string kPackageUrl = "http://packages.test/ovix-2.2.zip";

std::string ExampleArchive() {
  return ReadWholeFile(fs::path(OVIX_SOURCE_DIR) / "service/example/files/ovix-2.2.zip").value();
}

class ScriptWindowTest : public ::testing::Test {
 protected:
  ScriptWindowTest() { h = std::make_unique<HeadlessWindow>(TStartup{.transport = service}); }
  int Run(const std::string& script) { return TfWindowTestAccess::RunScript(w(), script); }
  TfWindow& w() { return h->w(); }
  std::string P(const std::string& relative) const { return sandbox.Dir() + "\\" + relative; }
  fs::path L(const std::string& relative) const { return sandbox.Local(P(relative)); }
  void Write(const std::string& relative, const std::string& content) const {
    fs::create_directories(L(relative).parent_path());
    std::ofstream(L(relative), std::ios::binary) << content;
  }

  test::Sandbox sandbox;
  std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
  std::unique_ptr<HeadlessWindow> h;
};

TEST_F(ScriptWindowTest, StatusAndPercentLinesSetTheCaptions) {
  Run("PERCENT = 00");
  EXPECT_EQ(w().bProcess.Caption(), "Install / Update (0%)");

  w().SetLanguage(lngDE);
  const std::string action(Text(txtCurrentAction, lngDE));
  Run("STATUS_en = Downloading\nSTATUS_de = Wird geladen\nPERCENT = 45");
  EXPECT_EQ(w().lCurrentAction.Caption(), action + "Wird geladen");
  EXPECT_EQ(w().bProcess.Caption(), "Installieren / Updaten (45%)");
  Run("STATUS_fr = Chargement");
  EXPECT_EQ(w().lCurrentAction.Caption(), action + "Wird geladen");
  Run("STATUS_en = Unpacking");
  EXPECT_EQ(w().lCurrentAction.Caption(), action + "Unpacking");
  EXPECT_THROW(Run("PERCENT = 45 "), std::exception);
}

TEST_F(ScriptWindowTest, UnpackRestartsTheBarAndFailsOnAMissingArchive) {
  Write("package.zip", ExampleArchive());
  fs::create_directories(L("game"));
  w().pbCurrentAction.SetMax(5000);
  w().pbCurrentAction.SetPosition(3000);
  Run("UNPACK " + P("package.zip") + " " + P("game"));
  EXPECT_EQ(w().pbCurrentAction.Max(), 100);
  EXPECT_EQ(w().pbCurrentAction.Position(), 100);
  EXPECT_EQ(ReadWholeFile(L("game\\ovix\\version.txt")).value_or(""), "Ovix 2.2\n");

  EXPECT_THROW(Run("UNPACK " + P("missing.zip") + " " + P("game")), TUnpackError);
  EXPECT_EQ(w().pbCurrentAction.Position(), 0);
  // Inside IF_EXISTS the failure drops the rest of the block and the run goes on.
  Run("IF_EXISTS " + P("package.zip") + "\nUNPACK " + P("package.zip") + " " + P("nowhere") +
      "\nPERCENT = 1\nENDIF\nPERCENT = 2");
  EXPECT_EQ(w().bProcess.Caption(), "Install / Update (2%)");
}

TEST_F(ScriptWindowTest, WorkedExampleRunsEndToEnd) {
  service->AnswerAddress(kPackageUrl, ExampleArchive());
  Write("Games\\World_of_Tanks\\res_mods\\my settings.txt", "mine");
  Write("Games\\World_of_Tanks\\res_mods\\ovix\\version.txt", "old");
  fs::create_directories(L("Temp"));
  w().SetLanguage(lngDE);
  const std::string game = P("Games\\World_of_Tanks");
  const std::string temp = P("Temp");
  const std::string script =
      "STATUS_en = Downloading the package\r\n"
      "STATUS_de = Paket wird heruntergeladen\r\n"
      "PERCENT = 20\r\n"
      "GETFILE " +
      kPackageUrl + " " + temp +
      "\\package.zip\r\n"
      "IF 1\r\n"
      "COPY \"" +
      game + "\\res_mods\\my settings.txt\" \"" + temp +
      "\\my settings.txt\"\r\n"
      "ENDIF\r\n"
      "IF_EXISTS " +
      temp +
      "\\package.zip\r\n"
      "STATUS_en = Unpacking\r\n"
      "UNPACK " +
      temp + "\\package.zip " + game +
      "\\res_mods\r\n"
      "DELETE " +
      temp +
      "\\package.zip\r\n"
      "ENDIF\r\n"
      " PERCENT = 99\r\n"
      "PERCENT = 100\r\n";
  EXPECT_EQ(Run(script), static_cast<int>(script.size()));

  EXPECT_EQ(ReadWholeFile(L("Temp\\my settings.txt")).value_or(""), "mine");
  EXPECT_EQ(ReadWholeFile(L("Games\\World_of_Tanks\\res_mods\\ovix\\version.txt")).value_or(""),
            "Ovix 2.2\n");
  EXPECT_FALSE(fs::exists(L("Temp\\package.zip")));
  EXPECT_EQ(w().lCurrentAction.Caption(), std::string(Text(txtCurrentAction, lngDE)) + "Unpacking");
  EXPECT_EQ(w().bProcess.Caption(), "Installieren / Updaten (100%)");
  EXPECT_TRUE(h->app.Messages().empty());
}

TEST_F(ScriptWindowTest, AFailedDownloadIsReportedAndTheScriptGoesOn) {
  Run("GETFILE http://packages.test/none " + P("none.zip") + "\nPERCENT = 7");
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_EQ(w().bProcess.Caption(), "Install / Update (7%)");
}

// A `sha256=` word after GETFILE's two arguments: the download goes into place only when it
// is the file named, in either case of digits; otherwise the old file stays.
TEST_F(ScriptWindowTest, AGetfileWithADigestMovesOnlyTheNamedFileIntoPlace) {
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  service->AnswerAddress(kPackageUrl, "abc");
  const std::string file = P("Temp\\file.bin");
  const auto attempt = [&](const std::string& word) {
    Write("Temp\\file.bin", "old");
    Run("GETFILE " + kPackageUrl + " \"" + file + "\" " + word + "\r\n");
    return ReadWholeFile(L("Temp\\file.bin")).value_or("<missing>");
  };
  EXPECT_EQ(attempt("sha256=" + abc), "abc");
  EXPECT_EQ(attempt("SHA256=" + upper), "abc");
  EXPECT_TRUE(h->app.Messages().empty());
  EXPECT_EQ(attempt("sha256=" + std::string(64, '0')), "old");
  EXPECT_EQ(attempt("sha256=" + abc.substr(1)), "old");  // not a digest at all
  ASSERT_EQ(h->app.Messages().size(), 2u);
  EXPECT_NE(h->app.Messages()[0].text.find("URL Moniker 0x800C0007"), std::string::npos);
  EXPECT_EQ(sandbox.FilesIn(P("Temp")), "file.bin;");  // no partial file left
}

TEST_F(ScriptWindowTest, PlaceholdersFollowTheChoicesInTheirOrder) {
  const auto prepared = [&](std::string script) {
    EXPECT_TRUE(TfWindowTestAccess::PrepareScript(w(), script, "1.5.0"));
    return script;
  };
  w().WOTDir = P("game");
  w().eDirectory.SetCaption(w().WOTDir);
  const std::string choices = "%CUSTOMCONFIG% OPTIONsaveConfig OPTIONcustomConfig";
  EXPECT_EQ(prepared(choices), "%CUSTOMCONFIG% 0 0");
  w().cmbConfig.AddItem("Compact");
  w().ConfigsFiles = {"compact%WOT%"};
  w().cmbConfig.SetItemIndex(1);
  // Text put in by an earlier placeholder is subject to the later ones.
  EXPECT_EQ(prepared(choices), "compact" + P("game") + " 0 1");
  w().cbKeepConfig.SetChecked(true);
  EXPECT_EQ(prepared(choices), "compact" + P("game") + " 1 0");

  EXPECT_EQ(prepared("%TEMP%|%temp%|%Wot%|%WOT%\\res_mods\\%WOTVERSION%"),
            GetTempDirectory() + "|%temp%|%Wot%|" + P("game") + "\\res_mods\\1.5.0");
}

TEST_F(ScriptWindowTest, ThePreviousVersionIsTheSecondLastVersionFolderInTextOrder) {
  w().WOTDir = P("game");
  w().eDirectory.SetCaption(w().WOTDir);
  const auto oldVersion = [&] {
    std::string script = "%WOTOLDVERSION%";
    EXPECT_TRUE(TfWindowTestAccess::PrepareScript(w(), script, ""));
    return script;
  };
  EXPECT_EQ(oldVersion(), "%WOTOLDVERSION%");  // no res_mods at all
  for (const char* folder : {"0.9.20", "0.9.19.1", "configs"})
    fs::create_directories(L("game\\res_mods\\" + std::string(folder)));
  Write("game\\res_mods\\1.2.3.txt", "not a folder");
  EXPECT_EQ(oldVersion(), "0.9.19.1");
  fs::remove_all(L("game\\res_mods"));
  fs::create_directories(L("game\\res_mods\\0.9.9"));
  EXPECT_EQ(oldVersion(), "%WOTOLDVERSION%");  // one version folder
  fs::create_directories(L("game\\res_mods\\0.9.10"));
  EXPECT_EQ(oldVersion(), "0.9.10");
  fs::create_directories(L("game\\res_mods\\a..b"));
  EXPECT_EQ(oldVersion(), "0.9.9");
  EXPECT_TRUE(h->app.Messages().empty());
}

// No script command takes the game folder away, however the path names it: each is refused
// with a warning, and the script goes on.
TEST_F(ScriptWindowTest, TheGameFolderItselfIsNeverDeletedOrReplaced) {
  Write("game\\worldoftanks.exe", "client");
  Write("game\\res_mods\\a.txt", "a");
  Write("new.txt", "new");
  w().WOTDir = P("game");
  std::vector<std::string> warnings;
  w().onScriptWarning = [&](std::string_view problem) { warnings.emplace_back(problem); };
  Run("DELETEDIR \"" + P("game") + "\"\nDELETEDIR " + P("game\\") + "\nDELETEDIR " +
      P("game\\res_mods\\..") + "\nDELETEDIR " + sandbox.Dir() + "\nDELETE " + P("game") +
      "\nCOPY " + P("new.txt") + " " + P("game") + "\nDELETE " + P("game\\res_mods\\a.txt") +
      "\nPERCENT = 7");
  EXPECT_EQ(warnings.size(), 6u);
  for (const std::string& warning : warnings) {
    EXPECT_NE(warning.find(kGameFolderItself), std::string::npos) << warning;
  }
  EXPECT_EQ(ReadWholeFile(L("game\\worldoftanks.exe")), "client");
  EXPECT_FALSE(fs::exists(L("game\\res_mods\\a.txt")));
  EXPECT_EQ(w().bProcess.Caption(), "Install / Update (7%)");
}

TEST(ScriptWindowClosing, ClosingDuringADownloadEndsTheWholeRun) {
  test::Sandbox sandbox;
  ui::HeadlessApplication app(ui::kDesignDpi);
  TStartup startup;
  startup.transport = std::make_shared<ClosingService>(app);
  TfWindow window(app, startup);
  const std::string script = "IF 1\nGETFILE http://packages.test/big " + sandbox.Dir() +
                             "\\big.zip\nPERCENT = 1\nENDIF\n"
                             "PERCENT = 2";
  // The run ends at the download: neither percentage after it is shown.
  EXPECT_EQ(TfWindowTestAccess::RunScript(window, script), static_cast<int>(script.size()));
  EXPECT_EQ(window.bProcess.Caption(), std::string(Text(txtInstallUpdate, lngEN)));
}

}  // namespace
}  // namespace ovix
