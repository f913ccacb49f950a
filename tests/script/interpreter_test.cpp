// The script language against a host that records what the commands ask for.

#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ovix {
namespace {

class RecordingHost final : public TScriptHost {
 public:
  void Status(std::string_view code, std::string_view text) override {
    Log("STATUS " + std::string(code) + "|" + std::string(text));
  }
  void Percent(int value) override { Log("PERCENT " + std::to_string(value)); }
  bool GetFile(const std::string& url, const std::string& destination, std::string_view) override {
    Log("GETFILE " + url + "|" + destination);
    return !terminateOnGetFile;
  }
  void Unpack(const std::string& archive, const std::string& destination) override {
    Log("UNPACK " + archive + "|" + destination);
    if (failingUnpacks > 0) {
      --failingUnpacks;
      throw std::runtime_error("damaged archive");
    }
  }
  void Copy(const std::string& source, const std::string& destination) override {
    Log("COPY " + source + "|" + destination);
  }
  void RemoveDirectoryTree(const std::string& directory) override { Log("DELETEDIR " + directory); }
  void RemoveFile(const std::string& path) override { Log("DELETE " + path); }
  bool FileExists(const std::string& path) override { return files.contains(path); }
  bool DirectoryExists(const std::string& path) override { return directories.contains(path); }
  void Pump() override { ++pumps; }

  void Log(const std::string& event) { log += (log.empty() ? "" : ";") + event; }

  std::set<std::string> files;
  std::set<std::string> directories;
  int failingUnpacks = 0;
  bool terminateOnGetFile = false;
  std::size_t pumps = 0;
  std::string log;
};

std::string Performed(const std::string& text, RecordingHost host = {}) {
  RunScript(host, text, true);
  return host.log;
}

TEST(ScriptScanning, LineEndsOfEveryKindReadAlike) {
  const std::string expected = "PERCENT 1;COPY a|b;STATUS en|done";
  EXPECT_EQ(Performed("PERCENT = 1\nCOPY a b\nSTATUS_en = done"), expected);
  EXPECT_EQ(Performed("PERCENT = 1\r\nCOPY a b\r\nSTATUS_en = done\r\n"), expected);
  EXPECT_EQ(Performed("PERCENT = 1\rCOPY a b\rSTATUS_en = done\r"), expected);
}

TEST(ScriptScanning, ReturnsWhereItStoppedAndPumpsPerScannedCharacter) {
  RecordingHost host;
  EXPECT_EQ(RunScript(host, "", true), 0u);
  EXPECT_EQ(RunScript(host, "X", true), 1u);
  EXPECT_EQ(RunScript(host, "PERCENT = 7", true), 11u);
  EXPECT_EQ(host.log, "PERCENT 7");
  // The scan meets the word and its blank; the rest is read without scanning.
  EXPECT_EQ(host.pumps, 8u);
  // The last character is only read as part of a rest: a word and a lone final blank are not run.
  EXPECT_EQ(Performed("DELETE x\nDELETE "), "DELETE x");
}

TEST(ScriptScanning, ReadLineRestStopsOnTheLineEndOrPastTheText) {
  std::string rest = "old";
  std::size_t position = 5;
  ReadLineRest("COPY a b\r\nX", position, rest);
  EXPECT_EQ(rest, " a b");
  EXPECT_EQ(position, 9u);
  position = 3;
  ReadLineRest("IF 1", position, rest);
  EXPECT_EQ(rest, " 1");
  EXPECT_EQ(position, 5u);
}

TEST(ScriptKeywords, FirstMatchingPrefixInTableOrderWins) {
  EXPECT_EQ(Performed("STATUS_de = Paket\nCOPYX a b\nDELETEDIRS C:\\x\nDELETE_ME C:\\y"),
            "STATUS de|Paket;COPY a|b;DELETE C:\\y");
  RecordingHost host;
  host.directories.insert("C:\\x\\");
  EXPECT_EQ(Performed("DELETEDIR C:\\x\nDELETEDIR C:\\nothing", host), "DELETEDIR C:\\x\\");
  // IF_NEXIST (no final S) is IF with the path as its value, which is not "1".
  EXPECT_EQ(Performed("IF_NEXIST C:\\a\nPERCENT = 1\nENDIF\nPERCENT = 2"), "PERCENT 2");
  EXPECT_EQ(Performed("IFFY 1\nPERCENT = 1\nENDIF"), "PERCENT 1");
  EXPECT_EQ(Performed("GETFILE http://h/p C:\\t\\p.zip\nUNPACK \"C:\\my dir\\p.zip\" C:\\g"),
            "GETFILE http://h/p|C:\\t\\p.zip;UNPACK C:\\my dir\\p.zip|C:\\g");
}

TEST(ScriptKeywords, OneArgumentPathsLoseOnePairOfEnclosingQuotes) {
  RecordingHost host;
  host.files = {"C:\\my dir\\a.txt"};
  host.directories = {"C:\\my dir\\"};
  EXPECT_EQ(
      Performed("DELETE \"C:\\my dir\\a.txt\"\nDELETE C:\\my dir\\b.txt\n"
                "DELETEDIR \"C:\\my dir\"\nIF_EXISTS \"C:\\my dir\\a.txt\"\nPERCENT = 1\nENDIF\n"
                "IF_NEXISTS \"C:\\my dir\\a.txt\"\nPERCENT = 2\nENDIF\nDELETE \"\nDELETE \"\"\"",
                host),
      "DELETE C:\\my dir\\a.txt;DELETE C:\\my dir\\b.txt;DELETEDIR C:\\my dir\\;PERCENT 1;"
      "DELETE \";DELETE \"");
}

TEST(ScriptKeywords, WordsNeedABlankAndRestsKeepTheirBlanks) {
  EXPECT_EQ(Performed("DELETE\nPERCENT\nSTATUS_en\nstatus_en = x\nNOTHING at all\n PERCENT = 9"),
            "");
  EXPECT_EQ(Performed("DELETE  C:\\a b "), "DELETE  C:\\a b ");
  EXPECT_EQ(Performed("STATUS_en =  two blanks \nSTATUS_en\tx"), "STATUS en| two blanks ");
  EXPECT_EQ(Performed("STATUS_en"), "");
  // Words count UTF-16 units for their code; a two-letter code in another script still reads.
  EXPECT_EQ(Performed("STATUS_\xD1\x80\xD1\x83 = \xD0\x94"), "STATUS \xD1\x80\xD1\x83|\xD0\x94");
}

TEST(ScriptBlocks, EndifClosesOnlyWithoutABlank) {
  EXPECT_EQ(Performed("IF 0\nPERCENT = 1\nENDIF \n ENDIF\nPERCENT = 2\nENDIFX\nPERCENT = 3"),
            "PERCENT 3");
  RecordingHost host;
  // A top-level ENDIF ends the script at its line end.
  EXPECT_EQ(RunScript(host, "PERCENT = 1\nENDIF\nPERCENT = 2", true), 18u);
  EXPECT_EQ(host.log, "PERCENT 1");
}

TEST(ScriptBlocks, IfPerformsOnlyExactlyOne) {
  EXPECT_EQ(Performed("IF 1\nPERCENT = 1\nENDIF\nPERCENT = 9"), "PERCENT 1;PERCENT 9");
  EXPECT_EQ(Performed("IF 1 \nPERCENT = 1\nENDIF\nPERCENT = 9"), "PERCENT 9");
  EXPECT_EQ(Performed("IF 01\r\nPERCENT = 1\r\nENDIF\r\nPERCENT = 9"), "PERCENT 9");
  // Without its ENDIF a block runs to the end of the text, and the script with it.
  RecordingHost host;
  EXPECT_EQ(RunScript(host, "IF 1\nPERCENT = 1", true), 16u);
  EXPECT_EQ(host.log, "PERCENT 1");
}

TEST(ScriptBlocks, SkippedBlocksEndAtTheirOwnEndif) {
  EXPECT_EQ(Performed("IF 1\nIF 1\nPERCENT = 1\nENDIF\nPERCENT = 2\nENDIF\nPERCENT = 3"),
            "PERCENT 1;PERCENT 2;PERCENT 3");
  EXPECT_EQ(Performed("IF 1\nIF 0\nPERCENT = 1\nENDIF\nPERCENT = 2\nENDIF\nPERCENT = 3"),
            "PERCENT 2;PERCENT 3");
  EXPECT_EQ(Performed("IF 0\nIF 1\nPERCENT = 1\nENDIF\nPERCENT = 2\nENDIF\nPERCENT = 3"),
            "PERCENT 3");
  // Keeping the configuration, not asked for: nothing of the kept-configuration branch
  // runs, the player's folder stays, and the script goes on to its end.
  RecordingHost host;
  host.files = {"C:\\g\\config.txt"};
  host.directories = {"C:\\g\\ovix\\"};
  EXPECT_EQ(Performed("IF 0\nIF_EXISTS C:\\g\\config.txt\nCOPY C:\\g\\config.txt C:\\t\\c.txt\n"
                      "ENDIF\nDELETEDIR C:\\g\\ovix\nENDIF\nPERCENT = 100",
                      host),
            "PERCENT 100");
  // Skipped blocks count the blocks of every kind and only whole ENDIF lines; a top-level
  // ENDIF still ends the script.
  EXPECT_EQ(Performed("IF_EXISTS C:\\no\nIFFY 1\nIF_NEXISTS x\nENDIF \nENDIF\nENDIF\n"
                      "PERCENT = 1\nENDIF\nPERCENT = 2\nENDIF\nPERCENT = 3"),
            "PERCENT 2");
}

TEST(ScriptBlocks, ExistenceTestsChooseTheBlock) {
  RecordingHost host;
  host.files = {"C:\\here"};
  EXPECT_EQ(Performed("IF_EXISTS C:\\here\nPERCENT = 1\nENDIF\n"
                      "IF_EXISTS C:\\gone\nPERCENT = 2\nENDIF\n"
                      "IF_NEXISTS C:\\here\nPERCENT = 3\nENDIF\n"
                      "IF_NEXISTS C:\\gone\nPERCENT = 4\nENDIF",
                      host),
            "PERCENT 1;PERCENT 4");
}

TEST(ScriptBlocks, HundredThousandfoldNestingDoesNotExhaustTheStack) {
  std::string text;
  const int depth = 100'000;
  for (int i = 0; i < depth; ++i) text += "IF 1\n";
  text += "PERCENT = 5\n";
  for (int i = 0; i < depth; ++i) text += "ENDIF\n";
  text += "PERCENT = 6";
  RecordingHost host;
  EXPECT_EQ(RunScript(host, text, true), text.size());
  EXPECT_EQ(host.log, "PERCENT 5;PERCENT 6");
}

TEST(ScriptGuards, FailureInsideIfNotExistsRunsTheBlockAgain) {
  RecordingHost host;
  host.failingUnpacks = 1;
  EXPECT_EQ(
      Performed("IF_NEXISTS C:\\marker\nPERCENT = 1\nUNPACK a b\nPERCENT = 2\nENDIF\nPERCENT = 3",
                host),
      "PERCENT 1;UNPACK a|b;PERCENT 1;UNPACK a|b;PERCENT 2;PERCENT 3");
}

TEST(ScriptGuards, FailureInsideIfExistsDropsTheRestOfTheBlock) {
  RecordingHost host;
  host.files = {"C:\\p.zip"};
  host.failingUnpacks = 1;
  EXPECT_EQ(
      Performed("IF_EXISTS C:\\p.zip\nUNPACK a b\nDELETE C:\\p.zip\nENDIF\nPERCENT = 3", host),
      "UNPACK a|b;PERCENT 3");
}

TEST(ScriptGuards, FailuresOutsideAGuardOrInTheSecondRunLeaveTheScript) {
  RecordingHost twice;
  twice.failingUnpacks = 2;
  EXPECT_THROW(Performed("IF_NEXISTS C:\\m\nUNPACK a b\nENDIF\nPERCENT = 3", twice),
               std::runtime_error);
  RecordingHost once;
  once.failingUnpacks = 1;
  EXPECT_THROW(Performed("IF 1\nUNPACK a b\nENDIF\nPERCENT = 3", once), std::runtime_error);
  EXPECT_THROW(Performed("PERCENT = x"), TScriptError);
}

TEST(ScriptGuards, DeeplyNestedRetriesOfAFailingCommandEndInBoundedTime) {
  // Each level doubles the runs of the innermost command: 2^depth without a bound.
  const auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "IF_NEXISTS C:\\m\n";
    text += "UNPACK a b\n";
    for (int i = 0; i < depth; ++i) text += "ENDIF\n";
    return text;
  };
  RecordingHost shallow;
  shallow.failingUnpacks = 1'000'000;
  EXPECT_THROW(RunScript(shallow, nested(3), true), std::runtime_error);
  EXPECT_EQ(shallow.failingUnpacks, 1'000'000 - 8);  // 2^3: the retries as they were
  RecordingHost deep;
  deep.failingUnpacks = 1'000'000'000;
  EXPECT_THROW(RunScript(deep, nested(40), true), std::runtime_error);
  EXPECT_LE(1'000'000'000 - deep.failingUnpacks, 64 * nested(40).size() + 4096);
}

TEST(ScriptGuards, AnyNumberOfIndependentGuardedFailuresRunsToTheEnd) {
  std::string text;
  for (int i = 0; i < 1500; ++i) {
    text +=
        "IF_EXISTS C:\\g\\a.txt\nCOPY C:\\g\\a.txt C:\\g\\b.txt\nUNPACK C:\\g\\m.zip C:\\g\n"
        "ENDIF\n";
  }
  text += "PERCENT = 100";
  RecordingHost host;
  host.files = {"C:\\g\\a.txt"};
  host.failingUnpacks = 1'000'000;
  EXPECT_EQ(RunScript(host, text, true), text.size());
  EXPECT_EQ(host.failingUnpacks, 1'000'000 - 1500);
  EXPECT_TRUE(host.log.ends_with("UNPACK C:\\g\\m.zip|C:\\g;PERCENT 100"));
}

TEST(ScriptTermination, TerminatingDuringGetFileEndsEveryLevel) {
  RecordingHost host;
  host.terminateOnGetFile = true;
  const std::string text =
      "IF 1\nIF 1\nGETFILE u f\nPERCENT = 1\nENDIF\nPERCENT = 2\nENDIF\nPERCENT = 3";
  EXPECT_EQ(RunScript(host, text, true), text.size());
  EXPECT_EQ(host.log, "GETFILE u|f");
}

TEST(ScriptPercent, ConvertsLikeTheIntegerParser) {
  EXPECT_EQ(StrToInt("45"), 45);
  EXPECT_EQ(StrToInt("  -7"), -7);
  EXPECT_EQ(StrToInt("+007"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x1f"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", " ", "45 ", "4 5", "- 5", "$", "0x", "1e3", "12a", "\t5",
                          "2147483648", "$100000000", "++1"})
    EXPECT_THROW(StrToInt(bad), TScriptError) << "'" << bad << "'";
  EXPECT_EQ(Performed("PERCENT = 00\nPERCENT = 250\nPERCENT = -3"),
            "PERCENT 0;PERCENT 250;PERCENT -3");
  EXPECT_THROW(Performed("PERCENT =5"), TScriptError);
  EXPECT_THROW(Performed("PERCENT = 5 "), TScriptError);
}

}  // namespace
}  // namespace ovix
