#include "game/shortcuts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <utility>

#include "os/files.h"
#include "os/text.h"
#include "shortcut_fixture.h"
#include "support/sandbox.h"
#include "support/shell_link.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Written by Wine's shell; see data/README.md. Both readers must agree with the shell.
const std::pair<const char*, const char*> kShellWrittenLinks[] = {
    {"launcher.lnk", "C:\\Ovix Shortcut Data\\launcher.exe"},
    {"deep.lnk", "C:\\Ovix Shortcut Data\\Deep Folder\\Ünïcödé ? name\\Game Launcher.exe"},
    {"root.lnk", "C:\\ovix-root-launcher.exe"},
    {"folder.lnk", "C:\\Ovix Shortcut Data\\Deep Folder"},
    {"missing.lnk", "D:\\Games\\Missing\\game.exe"},
    {"unc.lnk", "\\\\server\\share\\Games\\game.exe"},
};

std::string DataFile(const std::string& name) {
  const std::string path = std::string(OVIX_SOURCE_DIR) + "/tests/game/data/" + name;
#ifdef _WIN32
  // Wine shows the Unix file system as drive Z:.
  std::string windowsPath = "Z:" + path;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  return ReadWholeFile(fs::path(Widen(windowsPath))).value();
#else
  return ReadWholeFile(path).value();
#endif
}

using ShortcutTest = test::ShortcutFiles;

TEST(ShortcutFileNameTest, AppendsLnkUnlessTheNameEndsInIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"x", "x.lnk"},
      {"a.LnK", "a.LnK"},
      {"C:\\Desktop\\Game.lnk", "C:\\Desktop\\Game.lnk"},
      {"a.url", "a.url.lnk"},
      {"a.lnkx", "a.lnkx.lnk"},
      {"a.lnk.", "a.lnk..lnk"},
      {"dir.lnk\\x", "dir.lnk\\x.lnk"},
      {"C:.lnk", "C:.lnk"},
      {"C:x", "C:x.lnk"},
      {"", ".lnk"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(ShortcutFileName(path), expected) << path;
}

TEST_F(ShortcutTest, ReadsLinksAsTheShellWroteThem) {
  for (const auto& [name, target] : kShellWrittenLinks) {
    const std::string path = Place(name, DataFile(name));
    EXPECT_EQ(ResolveShortcut(path), target) << name;
  }
  // The extension is added when the name lacks it.
  Place("named.lnk", DataFile("root.lnk"));
  EXPECT_EQ(ResolveShortcut(sandbox_.Dir() + "\\named"), "C:\\ovix-root-launcher.exe");
}

TEST_F(ShortcutTest, ReadsTheTestWriterLikeTheShell) {
  const std::pair<test::ShellLinkTarget, const char*> cases[] = {
      {{.localBasePath = "D:\\Games\\Game\\launcher.exe"}, "D:\\Games\\Game\\launcher.exe"},
      {{.localBasePath = "\\\\server\\share\\game.exe"}, "\\\\server\\share\\game.exe"},
      // Wine's shell takes the local path over the network one.
      {{.localBasePath = "E:\\Game\\launcher.exe", .networkShare = "\\\\server\\games"},
       "E:\\Game\\launcher.exe"},
      {{}, ""},
  };
  for (const auto& [target, expected] : cases) {
    EXPECT_EQ(ResolveShortcut(Place("writer.lnk", test::ShellLinkBytes(target))), expected)
        << expected;
  }
}

TEST_F(ShortcutTest, MissingOrForeignFilesHaveNoTarget) {
  EXPECT_EQ(ResolveShortcut(sandbox_.Dir() + "\\absent.lnk"), "");
  EXPECT_EQ(ResolveShortcut(Place("empty.lnk", "")), "");
  EXPECT_EQ(ResolveShortcut(Place("text.lnk", "[InternetShortcut]\r\nURL=http://x/\r\n")), "");
}

// Damaged links must give no target or some path, never crash or hang.
TEST_F(ShortcutTest, SurvivesTruncatedLinks) {
  const std::string link = DataFile("deep.lnk");
  const std::string target = kShellWrittenLinks[1].second;
  for (std::size_t size = 0; size < link.size(); ++size) {
    const std::string result = ResolveShortcut(Place("cut.lnk", link.substr(0, size)));
    EXPECT_TRUE(result.empty() || result == target) << size << ": " << result;
  }
}

TEST_F(ShortcutTest, SurvivesCorruptedLinks) {
  const std::string link = DataFile("deep.lnk");
  std::mt19937 random(20240613);
  std::uniform_int_distribution<std::size_t> position(0, link.size() - 1);
  std::uniform_int_distribution<int> flips(1, 8);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 300; ++round) {
    std::string bad = link;
    for (int i = flips(random); i > 0; --i) bad[position(random)] = static_cast<char>(byte(random));
    const std::string result = ResolveShortcut(Place("flipped.lnk", bad));
    EXPECT_EQ(RepairUtf8(result), result) << round;
  }
  // Sizes and offsets far past the end: the header, the item list, the LinkInfo block and
  // its header, offsets and volume block.
  const std::size_t info = 0x4C + 2 + static_cast<unsigned char>(link[0x4C]) +
                           256 * static_cast<unsigned char>(link[0x4D]);
  const std::size_t fields[] = {0, 0x4C, info, info + 4, info + 12, info + 16, info + 24};
  for (const std::size_t at : fields) {
    for (const char fill : {'\xFF', '\x7F'}) {
      std::string bad = link;
      bad.replace(at, at == 0x4C ? 2 : 4, at == 0x4C ? 2 : 4, fill);
      const std::string result = ResolveShortcut(Place("huge.lnk", bad));
      EXPECT_EQ(RepairUtf8(result), result) << at;
    }
  }
}

}  // namespace
}  // namespace ovix
