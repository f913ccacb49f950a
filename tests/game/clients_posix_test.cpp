// Clients in every place Linux keeps them, each reached through its own prefix.

#include <gtest/gtest.h>

#include "game/clients.h"
#include "game/discovery.h"
#include "game/steam_libraries.h"
#include "os/files.h"
#include "support/client_homes.h"
#include "test_executables.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

using Strings = std::vector<std::string>;

TEST(SteamLibraryList, PathsInBothFormsEscapesUndoneAndDamageEndsTheList) {
  EXPECT_EQ(SteamLibraryPaths(R"("libraryfolders"
{
	"0"
	{
		"path"		"/home/p/.local/share/Steam"
		"label"		"/not/a/path"
		"apps" { "1407200"		"90000" }
	}
	// a comment "path" "/commented"
	"1" { "PATH" "/mnt/My \"Games\"\\Steam" }
})"),
            (Strings{"/home/p/.local/share/Steam", "/mnt/My \"Games\"\\Steam"}));
  // The older form: numbered keys with the folder as their value.
  EXPECT_EQ(SteamLibraryPaths("\"LibraryFolders\" { \"ContentStatsID\" \"-77\" \"1\" "
                              "\"/media/games\" \"2\" \"D:\\\\Steam\" }"),
            (Strings{"/media/games"}));
  EXPECT_EQ(
      SteamLibraryPaths("\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" { \"path\" \"/b"),
      (Strings{"/a"}));
  EXPECT_EQ(SteamLibraryPaths(std::string("\0\xff{{}}\"", 7)), Strings{});
}

class GameClientsTest : public ::testing::Test {
 protected:
  test::ClientHomes homes{OVIX_TEST_EXE_DIR};
  fs::path Home() const { return homes.Home(); }
};

TEST_F(GameClientsTest, EveryLayoutIsFoundOnceInSearchOrderWithItsPrefix) {
  // The prefix the player named, first; its client by the window's own search.
  const fs::path own = homes.Disk() / "own-prefix";
  homes.Prefix(own);
  homes.Client(own / "drive_c" / "World_of_Tanks", "version_1_2_3_4.exe");
  ScopedEnvironment winePrefix("WINEPREFIX");
  winePrefix.Set(own.string());
  // Steam, with a second library on another disk holding the game in a realm folder; the
  // usual link to the root lists the same library again.
  const fs::path steam = Home() / ".local/share/Steam";
  const fs::path library = homes.Disk() / "SteamLibrary";
  homes.Write(steam / "steamapps/libraryfolders.vdf",
              "\"libraryfolders\" { \"0\" { \"path\" \"" + steam.string() +
                  "\" } \"1\" { \"path\" \"" + library.string() + "\" } }");
  fs::create_directories(Home() / ".steam");
  fs::create_directory_symlink(steam, Home() / ".steam/steam");
  const fs::path steamGame = library / "steamapps/common/World of Tanks/eu";
  homes.Client(steamGame);
  const fs::path proton = library / "steamapps/compatdata/1407200/pfx";
  homes.Prefix(proton);
  // Flatpak Steam: the client in the game's folder itself, never started (no prefix yet), and
  // a damaged library list.
  const fs::path flatpakSteam = Home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
  const fs::path flatpakGame = flatpakSteam / "steamapps/common/World of Tanks";
  homes.Client(flatpakGame, "version_0_9_18_0.exe");
  homes.Write(flatpakSteam / "steamapps/libraryfolders.vdf",
              "\"libraryfolders\" { \"0\" { \"path\" \"/no/such/library\" } \"1\" { \"pa");
  // Lutris, with the launcher's realm folder and the client's name in lower case.
  const fs::path lutris = Home() / "Games/world-of-tanks";
  homes.Prefix(lutris);
  homes.Client(lutris / "drive_c/Games/World_of_Tanks_EU", "version_1_10_2_7.exe",
               "worldoftanks.exe");
  // Bottles: a prefix without its drive table yet; and a Flatpak bottle without a client.
  const fs::path bottle = Home() / ".local/share/bottles/bottles/WoT";
  homes.Prefix(bottle, false);
  homes.Client(bottle / "drive_c/Games/World_of_Tanks_NA", "version_1_10_2_7.exe",
               "WORLDOFTANKS.EXE");
  homes.Prefix(Home() / ".var/app/com.usebottles.bottles/data/bottles/bottles/Empty");
  // PortProton, installed where its configuration says.
  const fs::path portProton = homes.Disk() / "PP";
  homes.Write(Home() / ".config/PortProton.conf", portProton.string() + "\n");
  const fs::path portPrefix = portProton / "data/prefixes/DEFAULT";
  homes.Prefix(portPrefix);
  homes.Client(portPrefix / "drive_c/World_of_Tanks_RU");
  // The player's own default prefix.
  homes.Prefix(Home() / ".wine");
  homes.Client(Home() / ".wine/drive_c/Games/World of Tanks");

  const auto canonical = [](const fs::path& p) { return fs::canonical(p).string(); };
  const std::vector<TGameClient> expected = {
      {canonical(own / "drive_c/World_of_Tanks"), "1.2.3", own.string(), "C:\\World_of_Tanks"},
      {canonical(steamGame), "1.10.2", canonical(proton), test::ClientHomes::OnDriveZ(steamGame)},
      {canonical(flatpakGame), "0.9.18", "", test::ClientHomes::OnDriveZ(flatpakGame)},
      {canonical(lutris / "drive_c/Games/World_of_Tanks_EU"), "1.10.2", lutris.string(),
       "C:\\Games\\World_of_Tanks_EU"},
      {canonical(bottle / "drive_c/Games/World_of_Tanks_NA"), "1.10.2", bottle.string(),
       "C:\\Games\\World_of_Tanks_NA"},
      {canonical(portPrefix / "drive_c/World_of_Tanks_RU"), "1.10.2", portPrefix.string(),
       "C:\\World_of_Tanks_RU"},
      {canonical(Home() / ".wine/drive_c/Games/World of Tanks"), "1.10.2",
       (Home() / ".wine").string(), "C:\\Games\\World of Tanks"},
  };
  const std::vector<TGameClient> found = FindGameClients();
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].folder, expected[i].folder) << i;
    EXPECT_EQ(found[i].version, expected[i].version) << i;
    EXPECT_EQ(found[i].prefix, expected[i].prefix) << i;
    EXPECT_EQ(found[i].windowsPath, expected[i].windowsPath) << i;
  }
  // The search leaves the environment's prefix in force.
  EXPECT_EQ(WinePrefixInUse(), std::nullopt);

  // Taking a client makes its prefix the one every path goes through.
  UseClientPrefix(found[1]);
  EXPECT_EQ(LocalPath(found[1].windowsPath + "\\worldoftanks.exe"),
            fs::canonical(steamGame / "WorldOfTanks.exe"));
  UseClientPrefix(found[4]);
  EXPECT_EQ(LocalPath("C:\\Games\\World_of_Tanks_NA\\new.txt"),
            fs::canonical(bottle / "drive_c/Games/World_of_Tanks_NA") / "new.txt");
}

TEST_F(GameClientsTest, AFolderOfThisSystemIsReachedThroughThePrefixItBelongsTo) {
  const fs::path lutris = Home() / "Games/wot";
  homes.Prefix(lutris);
  homes.Client(lutris / "drive_c/Tanks/eu");
  const fs::path library = homes.Disk() / "SteamLibrary";
  const fs::path steamGame = library / "steamapps/common/World of Tanks";
  homes.Client(steamGame);
  homes.Prefix(library / "steamapps/compatdata/1407200/pfx");
  homes.Prefix(Home() / ".wine");
  const fs::path loose = homes.Disk() / "copies/wot";
  homes.Client(loose);

  const std::optional<TGameClient> inLutris = ClientAt((lutris / "drive_c/Tanks/eu").string(), {});
  ASSERT_TRUE(inLutris);
  EXPECT_EQ(inLutris->prefix, lutris.string());
  EXPECT_EQ(inLutris->windowsPath, "C:\\Tanks\\eu");
  const std::optional<TGameClient> inSteam = ClientAt(steamGame.string(), {});
  ASSERT_TRUE(inSteam);
  EXPECT_EQ(inSteam->prefix, (library / "steamapps/compatdata/1407200/pfx").string());
  // Elsewhere the prefix in force reaches it through its Z: drive.
  const std::optional<TGameClient> elsewhere = ClientAt(loose.string(), {});
  ASSERT_TRUE(elsewhere);
  EXPECT_EQ(elsewhere->prefix, (Home() / ".wine").string());
  EXPECT_EQ(elsewhere->windowsPath, test::ClientHomes::OnDriveZ(loose));
  // A client already known keeps what the search said of it.
  const TGameClient known{fs::canonical(loose).string(), "9.9.9", "/p", "D:\\wot"};
  EXPECT_EQ(ClientAt(loose.string() + "/", {known}), known);

  // A Steam library whose name holds what Windows names may not: Steam escapes it in its list,
  // Wine shows it in the private use area, and the folder is reached either way.
  const fs::path odd = homes.Disk() / "My \"Games\"\\Steam";
  homes.Write(Home() / ".local/share/Steam/steamapps/libraryfolders.vdf",
              "\"libraryfolders\" { \"0\" { \"path\" \"" + homes.Disk().string() +
                  "/My \\\"Games\\\"\\\\Steam\" } }");
  homes.Client(odd / "steamapps/common/World of Tanks");
  homes.Prefix(odd / "steamapps/compatdata/1407200/pfx");
  bool found = false;
  for (const TGameClient& client : FindGameClients()) {
    if (client.folder != fs::canonical(odd / "steamapps/common/World of Tanks").string()) continue;
    found = true;
    EXPECT_NE(client.windowsPath.find("My \xEF\x80\xA2Games\xEF\x80\xA2\xEF\x81\x9CSteam"),
              std::string::npos)
        << client.windowsPath;
    UseClientPrefix(client);
    EXPECT_TRUE(IsGameDirectory(client.windowsPath));
    UseEnvironmentWinePrefix();
  }
  EXPECT_TRUE(found);
  const std::optional<TGameClient> oddOne =
      ClientAt((odd / "steamapps/common/World of Tanks").string(), {});
  ASSERT_TRUE(oddOne);
  EXPECT_EQ(oddOne->prefix, (odd / "steamapps/compatdata/1407200/pfx").string());

  EXPECT_EQ(ClientAt((lutris / "drive_c").string(), {}), std::nullopt);
  EXPECT_EQ(ClientAt((homes.Disk() / "missing").string(), {}), std::nullopt);
  EXPECT_EQ(WinePrefixInUse(), std::nullopt);
}

}  // namespace
}  // namespace ovix
