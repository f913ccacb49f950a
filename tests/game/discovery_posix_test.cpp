// The game search on throw-away Wine-style prefixes: drives C: and D:, a desktop, shortcuts.

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "game/discovery.h"
#include "support/sandbox.h"
#include "support/scoped_environment.h"
#include "support/shell_link.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

class DiscoveryTest : public ::testing::Test {
 protected:
  DiscoveryTest() {
    // Drive D: beside C:, and a drive whose medium is missing.
    const fs::path prefix = box.Local("C:\\").parent_path();
    fs::create_directories(prefix / "drive_d");
    fs::create_directory_symlink("../drive_d", prefix / "dosdevices" / "d:");
    fs::create_directory_symlink("/nonexistent/cdrom", prefix / "dosdevices" / "e:");
    user.Set("player");
    fs::create_directories(box.Local("C:\\users\\player\\Desktop"));
  }
  ~DiscoveryTest() override { fs::current_path(startDirectory); }

  void Touch(const std::string& windowsPath, const std::string& content = "x") const {
    const fs::path local = box.Local(windowsPath);
    fs::create_directories(local.parent_path());
    std::ofstream(local, std::ios::binary) << content;
  }
  void PlaceGame(const std::string& directory) const { Touch(directory + "\\worldoftanks.exe"); }
  void Shortcut(const std::string& file, const std::string& target) const {
    Touch(file, test::ShellLinkBytes({.localBasePath = target}));
  }
  void OnDesktop(const std::string& name, const std::string& target) const {
    Shortcut("C:\\users\\player\\Desktop\\" + name, target);
  }
  // The desktop entries' names in the order the file system lists them.
  std::vector<std::string> DesktopListing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(box.Local("C:\\users\\player\\Desktop")))
      names.push_back(entry.path().filename().string());
    return names;
  }

  const fs::path startDirectory = fs::current_path();
  test::Sandbox box;
  ScopedEnvironment user{"USER"};
};

TEST(DiscoveryRules, DirectoryPartsAndProgramNames) {
  EXPECT_EQ(DirectoryPart("D:\\Games\\WoT\\WOTLauncher.exe"), "D:\\Games\\WoT");
  EXPECT_EQ(DirectoryPart("C:\\WorldOfTanks.exe"), "C:\\");
  EXPECT_EQ(DirectoryPart("C:WorldOfTanks.exe"), "C:");
  EXPECT_EQ(DirectoryPart("\\\\server\\share\\WorldOfTanks.exe"), "\\\\server\\share");
  EXPECT_EQ(DirectoryPart("C:\\dir\\\\x.exe"), "C:\\dir\\\\");
  EXPECT_EQ(DirectoryPart("WorldOfTanks.exe"), "");
  EXPECT_EQ(DirectoryPart(""), "");

  for (const char* target : {"D:\\WoT\\WorldOfTanks.exe", "D:\\WoT\\wotlauncher.EXE",
                             "D:\\WoT\\OVIX-STAT.exe", "WOTLauncher.exe"})
    EXPECT_TRUE(IsGameProgram(target)) << target;
  for (const char* target :
       {"C:\\Windows\\notepad.exe", "D:\\WoT\\WorldOfTanks.exe.bak", "D:\\WoT\\WOTLauncher", ""})
    EXPECT_FALSE(IsGameProgram(target)) << target;
}

TEST_F(DiscoveryTest, TheGameTestWantsTheClientFileInAnyCase) {
  Touch("C:\\Games\\WoT\\WorldOfTanks.EXE");
  EXPECT_TRUE(IsGameDirectory("C:\\Games\\WoT"));
  EXPECT_TRUE(IsGameDirectory("c:\\games\\wot"));
  fs::create_directories(box.Local("C:\\Other\\worldoftanks.exe"));
  EXPECT_FALSE(IsGameDirectory("C:\\Other"));
  EXPECT_FALSE(IsGameDirectory("C:\\Missing"));
  EXPECT_FALSE(IsGameDirectory(""));
  PlaceGame("D:");
  EXPECT_TRUE(IsGameDirectory("D:\\"));  // a drive root: the doubled separator is fine
}

TEST_F(DiscoveryTest, UsualFoldersPreferEarlierDrivesThenEarlierCandidates) {
  EXPECT_EQ(SearchGameDirectory(), "");

  PlaceGame("D:\\World_of_Tanks");
  EXPECT_EQ(SearchGameDirectory(), "D:\\World_of_Tanks");
  PlaceGame("C:\\Program Files\\World of Tanks");
  EXPECT_EQ(SearchGameDirectory(), "C:\\Program Files\\World of Tanks");
  PlaceGame("C:\\World of Tanks");
  EXPECT_EQ(SearchGameDirectory(), "C:\\World of Tanks");
  PlaceGame("C:\\World_of_Tanks");
  EXPECT_EQ(SearchGameDirectory(), "C:\\World_of_Tanks");

  // A candidate folder without the client is passed over.
  fs::remove(box.Local("C:\\World_of_Tanks\\worldoftanks.exe"));
  EXPECT_EQ(SearchGameDirectory(), "C:\\World of Tanks");
}

TEST_F(DiscoveryTest, StartMenuThenDesktopThenDrives) {
  PlaceGame("C:\\World_of_Tanks");
  PlaceGame("D:\\Desk");
  OnDesktop("Play.lnk", "D:\\Desk\\WOTLauncher.exe");
  PlaceGame("D:\\Menu");
  const std::string menu =
      "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\World of Tanks\\";
  Shortcut(menu + "World of tanks.lnk", "D:\\Menu\\WorldOfTanks.exe");
  // The Start menu is read on the drive of the current directory only.
  EXPECT_EQ(SearchGameDirectory(), "D:\\Desk");
  fs::current_path(box.Local("C:\\work"));
  EXPECT_EQ(SearchGameDirectory(), "D:\\Menu");

  fs::remove(box.Local("D:\\Menu\\worldoftanks.exe"));
  EXPECT_EQ(SearchGameDirectory(), "D:\\Desk");
  // A failure while taking a directory only ends that source.
  std::vector<std::string> offered;
  EXPECT_EQ(SearchGameDirectory([&](const std::string& directory) {
              offered.push_back(directory);
              if (offered.size() == 1) throw std::runtime_error("cannot apply");
            }),
            "C:\\World_of_Tanks");
  EXPECT_EQ(offered, (std::vector<std::string>{"D:\\Desk", "C:\\World_of_Tanks"}));

  fs::remove(box.Local("D:\\Desk\\worldoftanks.exe"));
  EXPECT_EQ(SearchGameDirectory(), "C:\\World_of_Tanks");
}

TEST_F(DiscoveryTest, DesktopShortcutsNeedAGameProgramBesideTheClient) {
  PlaceGame("D:\\One");
  PlaceGame("D:\\Two");
  fs::create_directories(box.Local("D:\\Empty"));
  OnDesktop("Editor.lnk", "D:\\One\\notepad.exe");
  OnDesktop("Launcher.LNK", "D:\\Empty\\WOTLauncher.exe");
  OnDesktop("Not a link.txt", "D:\\One\\WorldOfTanks.exe");
  Touch("C:\\users\\player\\Desktop\\Broken.lnk", "not a shell link");
  EXPECT_EQ(SearchGameDirectory(), "");

  OnDesktop("First.lnk", "D:\\One\\wotlauncher.EXE");
  OnDesktop("Second.lnk", "D:\\Two\\ovix-stat.exe");
  // Of two that lead to the game, the one listed first wins.
  std::string first;
  for (const std::string& name : DesktopListing()) {
    if (name == "First.lnk" || name == "Second.lnk") {
      first = name;
      break;
    }
  }
  EXPECT_EQ(SearchGameDirectory(), first == "First.lnk" ? "D:\\One" : "D:\\Two");
}

}  // namespace
}  // namespace ovix
