#include "os/windows_path.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "os/scratch_wine_prefix.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

using WindowsPathTest = ScratchWinePrefix;

TEST_F(WindowsPathTest, ComponentsMatchWithoutRegardToAsciiCase) {
  const fs::path exe = MakeFile(DriveC() / "Games" / "World_of_Tanks" / "WorldOfTanks.exe");
  EXPECT_EQ(ResolveWindowsPath("c:\\games\\WORLD_OF_TANKS\\worldoftanks.exe"), exe);
  EXPECT_EQ(ResolveWindowsPath("C:/Games/World_of_Tanks/WorldOfTanks.exe"), exe);
  // Doubled separators (a drive root joined with "\name"), "." and ".." as Windows reads them.
  EXPECT_EQ(ResolveWindowsPath("C:\\\\Games\\.\\Other\\..\\World_of_Tanks\\\\WorldOfTanks.exe"),
            exe);
  EXPECT_EQ(ResolveWindowsPath("C:\\..\\..\\games"), DriveC() / "Games");
  EXPECT_EQ(ResolveWindowsPath("c:"), DriveC());
  EXPECT_EQ(ResolveWindowsPath("C:\\"), DriveC());
  EXPECT_EQ(ResolveWindowsPath("C:games\\"), DriveC() / "Games");
}

TEST_F(WindowsPathTest, ExactNameWinsAndCaseTwinsResolveToTheBytewiseFirst) {
  for (const char* name : {"data", "Data", "DATA"}) MakeFolder(DriveC() / name);
  EXPECT_EQ(ResolveWindowsPath("C:\\data"), DriveC() / "data");
  EXPECT_EQ(ResolveWindowsPath("C:\\Data"), DriveC() / "Data");
  EXPECT_EQ(ResolveWindowsPath("C:\\dAtA"), DriveC() / "DATA");
  // Only ASCII letters fold: an accented capital is another name.
  MakeFolder(DriveC() / "\xC3\xA9t\xC3\xA9");  // été
  EXPECT_EQ(ResolveWindowsPath("C:\\\xC3\x89T\xC3\x89"), DriveC() / "\xC3\x89T\xC3\x89");
  EXPECT_EQ(ResolveWindowsPath("C:\\\xC3\xA9T\xC3\xA9"), DriveC() / "\xC3\xA9t\xC3\xA9");
}

TEST_F(WindowsPathTest, MissingTailIsKeptAsWritten) {
  MakeFolder(DriveC() / "Games");
  MakeFile(DriveC() / "Games" / "readme.txt");
  EXPECT_EQ(ResolveWindowsPath("C:\\games\\New.txt"), DriveC() / "Games" / "New.txt");
  // Nothing below a missing folder is looked up, even where a similar name exists elsewhere.
  EXPECT_EQ(ResolveWindowsPath("C:\\GAMES\\Mods\\Games\\X"),
            DriveC() / "Games" / "Mods" / "Games" / "X");
  // Below a file there are no entries to match.
  EXPECT_EQ(ResolveWindowsPath("C:\\games\\README.TXT\\inner"),
            DriveC() / "Games" / "readme.txt" / "inner");
}

TEST_F(WindowsPathTest, LinksInsideADriveAreFollowedByTheSystem) {
  MakeFile(Prefix() / "elsewhere" / "Target.txt");
  fs::create_directory_symlink(Prefix() / "elsewhere", DriveC() / "Link");
  EXPECT_EQ(ResolveWindowsPath("C:\\link\\target.TXT"), DriveC() / "Link" / "Target.txt");
  // A dangling link occupies its name all the same.
  fs::create_symlink(Prefix() / "nowhere", DriveC() / "Dangling");
  EXPECT_EQ(ResolveWindowsPath("C:\\dangling"), DriveC() / "Dangling");
}

TEST_F(WindowsPathTest, RejectsWhatIsNoDriveAbsolutePathOrNoUsableDrive) {
  MapDrive('e', "../missing");
  MakeFile(Prefix() / "a-file");
  MapDrive('f', "../a-file");
  for (const char* path :
       {"", "C", "1:\\x", "\\\\server\\share\\x", "\\Windows", "Windows\\x", "C:\\a<b", "C:\\a>b",
        "C:\\a\"b", "C:\\a|b", "C:\\a?b", "C:\\*", "C:\\a:b",
        "C:\\a\x01"
        "b",
        "Q:\\x", "e:\\x", "F:\\"}) {
    EXPECT_EQ(ResolveWindowsPath(path), std::nullopt) << path;
  }
}

TEST_F(WindowsPathTest, DosDevicesComeFromTheWinePrefixOrTheHomeFolder) {
  EXPECT_EQ(DosDevicesFolder(), Prefix() / "dosdevices");
  ScopedEnvironment home("HOME");
  home.Set("/home/someone");
  ScopedEnvironment prefix("WINEPREFIX");
  prefix.Set("");
  EXPECT_EQ(DosDevicesFolder(), fs::path("/home/someone/.wine/dosdevices"));
  prefix.Unset();
  EXPECT_EQ(DosDevicesFolder(), fs::path("/home/someone/.wine/dosdevices"));
}

TEST_F(WindowsPathTest, DriveLettersAreTheDriveEntriesInLetterOrder) {
  MapDrive('z', "/");
  MapDrive('d', "../drive_c");
  MapDrive('E', "../missing");  // listed though its target is gone; upper case counts too
  fs::create_symlink("/dev/null", Prefix() / "dosdevices" / "c::");  // a raw device entry
  fs::create_symlink("/dev/null", Prefix() / "dosdevices" / "com1");
  EXPECT_EQ(DriveLetters(), (std::vector<char>{'C', 'D', 'E', 'Z'}));
  EXPECT_EQ(DriveRoot('c'), DriveC());
  EXPECT_EQ(DriveRoot('Z'), fs::path("/"));
  EXPECT_EQ(DriveRoot('e'), std::nullopt);
  EXPECT_EQ(DriveRoot('q'), std::nullopt);

  ScopedEnvironment prefix("WINEPREFIX");
  prefix.Set((Prefix() / "no-such-prefix").string());
  EXPECT_TRUE(DriveLetters().empty());
}

TEST_F(WindowsPathTest, WindowsFormUsesTheDriveWithTheLongestRoot) {
  const fs::path games = MakeFolder(DriveC() / "games");
  MapDrive('d', games);
  MapDrive('g', games);  // same root as d:, later letter: never chosen
  MakeFile(games / "Tanks" / "client.exe");
  MakeFile(DriveC() / "users" / "x.txt");
  EXPECT_EQ(ToWindowsPath(games / "Tanks" / "client.exe"), "D:\\Tanks\\client.exe");
  EXPECT_EQ(ToWindowsPath(DriveC() / "users" / "x.txt"), "C:\\users\\x.txt");
  EXPECT_EQ(ToWindowsPath(DriveC()), "C:\\");
  EXPECT_EQ(ToWindowsPath(DriveC() / "users" / ""), "C:\\users");
  // Made canonical as far as it exists; the rest is kept.
  EXPECT_EQ(ToWindowsPath(games / ".." / "users" / "." / "new" / "file"), "C:\\users\\new\\file");
  EXPECT_EQ(ToWindowsPath(Prefix() / "dosdevices" / "c:" / "users"), "C:\\users");
  // A root that is a prefix by characters, not by components, does not map.
  EXPECT_EQ(ToWindowsPath(Prefix() / "drive_cx"), "");
  EXPECT_EQ(ToWindowsPath("/"), "");

  MapDrive('z', "/");
  std::string expected = "Z:" + (Prefix() / "drive_cx").string();
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(ToWindowsPath(Prefix() / "drive_cx"), expected);
}

}  // namespace
}  // namespace ovix
