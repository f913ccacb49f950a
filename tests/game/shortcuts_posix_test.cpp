#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "game/shortcuts.h"
#include "shortcut_fixture.h"
#include "support/sandbox.h"
#include "support/scoped_environment.h"
#include "support/shell_link.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

class ShortcutPosixTest : public test::ShortcutFiles {
 protected:
  ScopedEnvironment user_{"USER"};
};

TEST_F(ShortcutPosixTest, DesktopIsTheLoginsWineDesktop) {
  user_.Set("player");
  EXPECT_EQ(GetDesktopDirectory(), "");
  // Wine links Desktop to the home folder's; a dangling link is no desktop.
  const fs::path profile = sandbox_.Local("C:\\users\\player");
  fs::create_directories(profile);
  fs::create_directory_symlink(sandbox_.Local("C:\\home-desktop"), profile / "Desktop");
  EXPECT_EQ(GetDesktopDirectory(), "");
  fs::create_directory(sandbox_.Local("C:\\home-desktop"));
  EXPECT_EQ(GetDesktopDirectory(), "C:\\users\\player\\Desktop");

  // Without $USER the account database names the user.
  user_.Unset();
  const std::string login = getpwuid(getuid())->pw_name;
  fs::create_directories(sandbox_.Local("C:\\users\\" + login + "\\Desktop"));
  EXPECT_EQ(GetDesktopDirectory(), "C:\\users\\" + login + "\\Desktop");
}

// Where Wine's shell reads less of a link than Windows does, the Windows meaning is kept.
TEST_F(ShortcutPosixTest, ReadsWhatWineLeavesOut) {
  const std::pair<test::ShellLinkTarget, const char*> cases[] = {
      {{.localBasePath = "D:\\Games\\", .pathSuffix = "Game\\launcher.exe"},
       "D:\\Games\\Game\\launcher.exe"},
      {{.localBasePath = "D:\\?\\launcher.exe",
        .unicode = true,
        .unicodeBasePath = "D:\\Ünï ₳\\launcher.exe"},
       "D:\\Ünï ₳\\launcher.exe"},
      {{.networkShare = "\\\\server\\games", .pathSuffix = "Game\\launcher.exe"},
       "\\\\server\\games\\Game\\launcher.exe"},
  };
  for (const auto& [target, expected] : cases) {
    EXPECT_EQ(ResolveShortcut(Place("writer.lnk", test::ShellLinkBytes(target))), expected);
  }
}

TEST_F(ShortcutPosixTest, RefusesWhatIsNoPlainSmallFile) {
  const std::string link = test::ShellLinkBytes({.localBasePath = "D:\\game.exe"});
  // Trailing bytes are ignored up to the size cap.
  EXPECT_EQ(ResolveShortcut(Place("padded.lnk", link + std::string(4096, '\0'))), "D:\\game.exe");
  EXPECT_EQ(ResolveShortcut(Place("big.lnk", link + std::string(1 << 20, '\0'))), "");
  fs::create_directory(sandbox_.Local(sandbox_.Dir() + "\\folder.lnk"));
  EXPECT_EQ(ResolveShortcut(sandbox_.Dir() + "\\folder.lnk"), "");
  // Opening a pipe would wait for a writer forever.
  ASSERT_EQ(mkfifo(sandbox_.Local(sandbox_.Dir() + "\\pipe.lnk").c_str(), 0600), 0);
  EXPECT_EQ(ResolveShortcut(sandbox_.Dir() + "\\pipe.lnk"), "");
  EXPECT_EQ(ResolveShortcut("relative\\game.lnk"), "");
}

}  // namespace
}  // namespace ovix
