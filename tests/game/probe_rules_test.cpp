#include <gtest/gtest.h>

#include "game/probes.h"
#include "os/process.h"

namespace ovix {
namespace {

TEST(ProbeRulesTest, VersionShowsThreeNumbersWithoutTheBuild) {
  EXPECT_EQ(FormatFileVersion({1, 2, 3, 4}), "1.2.3");
  EXPECT_EQ(FormatFileVersion({0, 9, 18, 0}), "0.9.18");
  EXPECT_EQ(FormatFileVersion({1, 10, 2, 7}), "1.10.2");
  EXPECT_EQ(FormatFileVersion({0, 0, 0, 0}), "0.0.0");
  EXPECT_EQ(FormatFileVersion({65535, 65535, 65535, 65535}), "65535.65535.65535");
}

TEST(ProbeRulesTest, ExecutableNamesMatchByFileNameOrWholeIgnoringAsciiCase) {
  EXPECT_TRUE(ExeNameMatches("WorldOfTanks.exe", "worldoftanks.exe"));
  EXPECT_TRUE(ExeNameMatches("worldoftanks.exe", "WORLDOFTANKS.EXE"));
  EXPECT_TRUE(ExeNameMatches("C:\\Games\\World_of_Tanks\\WorldOfTanks.exe", "worldoftanks.exe"));
  EXPECT_TRUE(ExeNameMatches("D:name.exe", "NAME.EXE"));
  EXPECT_TRUE(ExeNameMatches("C:\\Games\\Name.exe", "c:\\games\\name.EXE"));  // the whole name

  EXPECT_FALSE(ExeNameMatches("worldoftanks.ex", "worldoftanks.exe"));
  EXPECT_FALSE(ExeNameMatches("worldoftanks.exe", "worldoftanks.ex"));
  EXPECT_FALSE(ExeNameMatches("WorldOfTanks.com", "worldoftanks.exe"));
  EXPECT_FALSE(ExeNameMatches("C:\\Games\\WorldOfTanks.exe", "games\\worldoftanks.exe"));
  EXPECT_FALSE(ExeNameMatches("WorldOfTanks.exe", "worldoftanks.exe "));
  // "/" is no separator in the rule.
  EXPECT_FALSE(ExeNameMatches("/opt/WorldOfTanks.exe", "worldoftanks.exe"));
  EXPECT_FALSE(ExeNameMatches("", "worldoftanks.exe"));
}

TEST(ProbeRulesTest, OnlyAsciiLettersAreFolded) {
  EXPECT_TRUE(ExeNameMatches("\xC3\x84pfel.exe", "\xC3\x84PFEL.EXE"));   // Äpfel, ÄPFEL
  EXPECT_FALSE(ExeNameMatches("\xC3\x84pfel.exe", "\xC3\xA4pfel.exe"));  // Äpfel, äpfel
  EXPECT_FALSE(ExeNameMatches("\xD0\x98\xD0\x93\xD0\xA0\xD0\x90.exe",    // ИГРА
                              "\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0.exe"));  // игра
  // Symbols next to the letters stay apart: "@" is "A" - 1, "[" is "Z" + 1.
  EXPECT_FALSE(ExeNameMatches("@.exe", "`.exe"));
  EXPECT_FALSE(ExeNameMatches("[.exe", "{.exe"));
}

}  // namespace
}  // namespace ovix
