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

// Both readers trust declared sizes and offsets, and the shell's faults on such links; each
// of these must be refused before it reaches them, while sound extra blocks pass.
TEST_F(ShortcutTest, RefusesPartsThatRunPastWhereTheyMustEnd) {
  const auto withBlock = [](std::uint32_t size, std::uint32_t kind, const std::string& body) {
    std::string link = test::ShellLinkBytes({.localBasePath = "D:\\Games\\game.exe"});
    link.resize(link.size() - 4);  // the closing block goes after the new one
    for (const std::uint32_t field : {size, kind}) {
      for (int i = 0; i < 4; ++i) link += static_cast<char>((field >> (8 * i)) & 0xFF);
    }
    return link + body + std::string(4, '\0');
  };
  EXPECT_EQ(
      ResolveShortcut(Place("fe.lnk", withBlock(0xC, 0xA0000004, std::string("\xE9\xFD\0\0", 4)))),
      "D:\\Games\\game.exe");

  const std::string deep = DataFile("deep.lnk");
  const auto patched = [&](std::size_t at, std::string_view bytes) {
    return std::string(deep).replace(at, bytes.size(), bytes);
  };
  const std::size_t listEnd = 0x4E + 385;  // deep.lnk's item list, closed by two zero bytes
  const std::size_t info = listEnd;        // its LinkInfo block, 113 bytes
  const std::pair<const char*, std::string> damaged[] = {
      {"header size", patched(0, std::string("\x4D", 1))},
      {"link class", patched(4, "\x02")},
      {"item past the list", patched(0x4E, std::string("\x82\x01", 2))},
      {"list not closed", patched(listEnd - 2, "\x05\x00")},
      {"local path offset past the block", patched(info + 16, std::string("\x71\0", 2))},
      {"volume past the block", patched(info + 12, std::string("\x70\0", 2))},
      {"environment block size", withBlock(0x300, 0xA0000001, std::string(0x300 - 8, '\0'))},
      {"environment path not ended",
       withBlock(0x314, 0xA0000001, std::string(260, 'A') + std::string(520, '\0'))},
      {"code page block size", withBlock(0x10, 0xA0000004, std::string(8, '\0'))},
      {"newer item list past its block",
       withBlock(0x10, 0xA000000C, std::string("\x09\x00\x1F\0\0\0\0\0", 8))},
  };
  for (const auto& [what, link] : damaged)
    EXPECT_EQ(ResolveShortcut(Place("bad.lnk", link)), "") << what;
}

}  // namespace
}  // namespace ovix
