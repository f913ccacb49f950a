
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "game/probes.h"
#include "game/test_executables.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/process_posix.h"
#include "os/scratch_wine_prefix.h"
#include "os/windows_path.h"
#include "support/wait_until.h"

extern char** environ;

namespace ovix {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, std::chrono::seconds(20));
}

// A child running `sleep` under a command line of our choosing; killed and reaped on
// destruction.
class SleepingChild {
 public:
  SleepingChild(const std::string& program, const std::string& argv0) {
    std::string seconds = "60";
    char* argv[] = {const_cast<char*>(argv0.c_str()), seconds.data(), nullptr};
    started_ = posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, environ) == 0;
  }
  ~SleepingChild() { Stop(); }
  SleepingChild(const SleepingChild&) = delete;
  SleepingChild& operator=(const SleepingChild&) = delete;

  bool started() const { return started_; }
  void Stop() {
    if (!started_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    started_ = false;
  }

 private:
  pid_t pid_ = 0;
  bool started_ = false;
};

using ProbesTest = ScratchWinePrefix;

TEST_F(ProbesTest, FileVersionOfExecutablesOnAMappedDrive) {
  MapDrive('d', TestExecutable(""));
  EXPECT_EQ(GetFileVersionString("D:\\version_1_2_3_4.exe"), "1.2.3");
  EXPECT_EQ(GetFileVersionString("d:\\VERSION_0_9_18_0.EXE"), "0.9.18");
  EXPECT_EQ(GetFileVersionString("D:/version_1_10_2_7.exe"), "1.10.2");
  EXPECT_EQ(GetFileVersionString("D:\\no_version.exe"), "");
  EXPECT_EQ(GetFileVersionString("D:\\missing.exe"), "");
  EXPECT_EQ(GetFileVersionString("D:\\"), "");
  EXPECT_EQ(GetFileVersionString("Q:\\version_1_2_3_4.exe"), "");  // no such drive
  MakeFile(DriveC() / "readme.txt", "MZ, but only text");
  EXPECT_EQ(GetFileVersionString("C:\\readme.txt"), "");
}

TEST_F(ProbesTest, LongPathIsThePathWhenItExists) {
  MakeFile(DriveC() / "Games" / "Client.exe");
  EXPECT_EQ(GetLongPath("c:\\games\\client.EXE"), "c:\\games\\client.EXE");
  EXPECT_EQ(GetLongPath("C:\\Games"), "C:\\Games");
  EXPECT_EQ(GetLongPath("C:\\Games\\Other.exe"), "");
  EXPECT_EQ(GetLongPath("Q:\\Games"), "");
  EXPECT_EQ(GetLongPath(""), "");
}

TEST_F(ProbesTest, TempDirectoryIsTheWindowsFormOfTmpdir) {
  ScopedEnvironment tmpdir("TMPDIR");
  const fs::path temp = MakeFolder(DriveC() / "users" / "Player" / "Temp");
  tmpdir.Set(temp.string() + "/");
  EXPECT_EQ(GetTempDirectory(), "C:\\users\\Player\\Temp");
  tmpdir.Set(DriveC().string());
  EXPECT_EQ(GetTempDirectory(), "C:");  // a drive root loses its "\" too
  tmpdir.Set((DriveC() / "gone").string());
  EXPECT_EQ(GetTempDirectory(), "");
  tmpdir.Set(Prefix().string());  // on no drive
  EXPECT_EQ(GetTempDirectory(), "");
  MapDrive('z', "/");
  tmpdir.Unset();
  const std::string own = "ovix-updater-" + std::to_string(geteuid());
  EXPECT_EQ(GetTempDirectory(), ToWindowsPath("/tmp") + "\\" + own);
  EXPECT_EQ(GetTempDirectory().substr(0, 2), "Z:");
}

// In a folder every account may write to, another could plant the names a script downloads
// to: the program uses a folder of its user's alone inside it, never one someone else made.
TEST_F(ProbesTest, ASharedTemporaryFolderGivesAFolderOfTheUsersOwn) {
  ScopedEnvironment tmpdir("TMPDIR");
  const std::string own = "ovix-updater-" + std::to_string(geteuid());
  const auto mode = [](const fs::path& folder) {
    return fs::status(folder).permissions() & fs::perms::all;
  };
  const fs::path shared = MakeFolder(DriveC() / "shared");
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  tmpdir.Set(shared.string());
  EXPECT_EQ(GetTempDirectory(), "C:\\shared\\" + own);
  EXPECT_EQ(mode(shared / own), fs::perms::owner_all);

  // A link planted under that name is not followed, and neither is a folder others may enter.
  for (const char* name : {"planted-link", "planted-open"}) {
    const fs::path base = MakeFolder(DriveC() / name);
    fs::permissions(base, fs::perms::all | fs::perms::sticky_bit);
    if (std::string(name) == "planted-link") {
      fs::create_directory_symlink(MakeFolder(DriveC() / "elsewhere"), base / own);
    } else {
      fs::create_directory(base / own);
      fs::permissions(base / own, fs::perms::all);
    }
    tmpdir.Set(base.string());
    const std::string folder = GetTempDirectory();
    EXPECT_EQ(folder.rfind("C:\\" + std::string(name) + "\\" + own + "-", 0), 0u) << folder;
    const fs::path local = ResolveWindowsPath(folder).value();
    EXPECT_FALSE(fs::is_symlink(local));
    EXPECT_EQ(mode(local), fs::perms::owner_all);
    EXPECT_EQ(GetTempDirectory(), folder);  // made once
  }
}

TEST_F(ProbesTest, DriveIsReadyWhenItsRootIsAReadableFolder) {
  MapDrive('e', "../missing");
  MakeFile(Prefix() / "a-file");
  MapDrive('f', "../a-file");
  for (const char* drive : {"c", "C", "C:\\", "c:\\", "c:\\no-matter-what"}) {
    EXPECT_TRUE(IsDriveReady(drive)) << drive;
  }
  for (const char* drive : {"d", "D:\\", "e", "E:\\", "f", "", "1", "\\"}) {
    EXPECT_FALSE(IsDriveReady(drive)) << drive;
  }
}

TEST_F(ProbesTest, VersionFoldersAreVisibleFoldersWithTwoDotsAndDrivesComeInLetterOrder) {
  for (const char* name : {"0.9.20", "0.9.19.1", ".1.0.0", "configs", "a..b"})
    fs::create_directories(DriveC() / "res_mods" / name);
  MakeFile(DriveC() / "res_mods" / "1.2.3.txt");
  std::vector<std::string> names{"kept"};
  ListVersionFolders("C:\\res_mods\\", names);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "0.9.19.1", "0.9.20", "a..b"}));
  ListVersionFolders("C:\\missing", names);
  EXPECT_EQ(names.size(), 4u);

  MapDrive('z', "/");
  MapDrive('d', "../drive_c");
  EXPECT_EQ(LogicalDriveRoots(), (std::vector<std::string>{"C:\\", "D:\\", "Z:\\"}));
}

TEST(ProcessProbeTest, FindsAChildByItsWindowsCommandLine) {
  const std::string name = "DummyClient" + std::to_string(getpid()) + ".EXE";
  SleepingChild child("/bin/sleep", "C:\\Games\\Dummy Folder\\" + name);
  ASSERT_TRUE(child.started());
  std::string wanted = name;
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(WaitFor([&] { return IsProcessRunning(wanted); }));
  EXPECT_FALSE(IsProcessRunning(wanted.substr(0, wanted.size() - 1)));
  EXPECT_FALSE(IsProcessRunning(wanted.substr(0, wanted.size() - 3) + "com"));
  EXPECT_FALSE(IsProcessRunning("Other" + wanted));
  child.Stop();
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(wanted); }));
}

TEST(ProcessProbeTest, FindsAChildByItsKernelName) {
  // The kernel names a process after the file it executes, here a link named like a game.
  const fs::path folder = fs::temp_directory_path() / ("ovix-comm-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string name = "g" + std::to_string(getpid()) + ".exe";
  fs::create_symlink("/bin/sleep", folder / name);
  {
    SleepingChild child((folder / name).string(), "sleep");
    ASSERT_TRUE(child.started());
    EXPECT_TRUE(WaitFor([&] { return IsProcessRunning("G" + name.substr(1)); }));
  }
  fs::remove_all(folder);
}

TEST_F(ProbesTest, ProcessFolderEntriesThatCannotBeReadAreSkipped) {
  const fs::path proc = MakeFolder(Prefix() / "proc");
  MakeFile(proc / "17" / "cmdline", std::string("C:\\Games\\WorldOfTanks.exe\0-safe\0", 32));
  MakeFile(proc / "17" / "comm", "WorldOfTanks.ex\n");
  MakeFile(proc / "18" / "comm", "launcher.exe\n");
  MakeFile(proc / "19" / "cmdline", "");  // a kernel thread
  MakeFolder(proc / "20");                // gone while listed
  MakeFile(proc / "self" / "cmdline", std::string("selfonly.exe\0", 13));
  MakeFile(proc / "version", "Linux");

  EXPECT_TRUE(IsProcessRunningIn(proc, "worldoftanks.exe"));
  EXPECT_TRUE(IsProcessRunningIn(proc, "WORLDOFTANKS.EX"));  // the truncated kernel name
  EXPECT_TRUE(IsProcessRunningIn(proc, "Launcher.exe"));
  EXPECT_FALSE(IsProcessRunningIn(proc, "-safe"));  // only the first word is a name
  EXPECT_FALSE(IsProcessRunningIn(proc, "selfonly.exe"));
  EXPECT_FALSE(IsProcessRunningIn(proc, ""));
  EXPECT_FALSE(IsProcessRunningIn(Prefix() / "no-proc", "worldoftanks.exe"));
  EXPECT_FALSE(IsProcessRunningIn(proc / "version", "worldoftanks.exe"));

  // A client started by its path on this system, under whatever prefix; a folder named like
  // the client is not the client.
  const fs::path linuxProc = MakeFolder(Prefix() / "proc-linux");
  MakeFile(linuxProc / "30" / "cmdline",
           std::string("/home/p/Steam/steamapps/common/World of Tanks/eu/WorldOfTanks.exe\0", 66));
  MakeFile(linuxProc / "31" / "cmdline", std::string("/srv/worldoftanks.exe/run\0", 26));
  EXPECT_TRUE(IsProcessRunningIn(linuxProc, "worldoftanks.exe"));
  fs::remove(linuxProc / "30" / "cmdline");
  EXPECT_FALSE(IsProcessRunningIn(linuxProc, "worldoftanks.exe"));
}

}  // namespace
}  // namespace ovix
