// The author's check of a script: each kind of finding, on the line it is found on, and
// none on a sound script.

#include "install/script_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovix {
namespace {

const TScriptValues kValues{
    .temp = "C:\\Users\\p\\Temp", .game = "D:\\Games\\World_of_Tanks", .clientVersion = "1.5.0"};

// "line: message" for each finding.
std::vector<std::string> Check(const std::string& script) {
  std::vector<std::string> lines;
  for (const TScriptFinding& finding : CheckScript(script, kValues))
    lines.push_back(std::to_string(finding.line) + ": " + finding.message);
  return lines;
}

TEST(ScriptCheckTest, ASoundScriptHasNoFindings) {
  const std::string sound =
      "STATUS_en = Downloading\r\nSTATUS_ua = Завантаження\r\nPERCENT = 10\r\n"
      "GETFILE https://example.org/ovix.zip %TEMP%\\ovix.zip sha256=" +
      std::string(64, 'a') +
      "\r\n"
      "IF_EXISTS %TEMP%\\ovix.zip\r\n"
      "UNPACK \"%TEMP%\\ovix.zip\" \"%WOT%\\res_mods\\%WOTVERSION%\"\r\n"
      "IF OPTIONsaveConfig\r\nCOPY %WOT%\\a.xml %TEMP%\\a.xml\r\nENDIF\r\n"
      "DELETE \"%TEMP%\\ovix.zip\"\r\nENDIF\r\n"
      "DELETEDIR %WOT%\\res_mods\\..\\mods\\old\r\n   \r\nPERCENT = $64\r\n";
  EXPECT_EQ(Check(sound), std::vector<std::string>{});
}

TEST(ScriptCheckTest, EachFaultIsFoundOnItsLine) {
  const std::string script =
      "GETFLIE http://example.org/a.zip %TEMP%\\a.zip\n"   // 1
      " STATUS_en = indented\n"                            // 2
      "DELETE\n"                                           // 3
      "STATUS_xx = Nobody reads this\n"                    // 4
      "PERCENT = ten\n"                                    // 5
      "PERCENT = 120\n"                                    // 6
      "UNPACK %TEMP%\\a.zip\n"                             // 7
      "COPY %WOT%\\a %WOT%\\b %WOT%\\c\n"                  // 8
      "GETFILE ftp://example.org/a %TEMP%\\a sha256=12\n"  // 9
      "GETFILE http://example.org/a C:\\Windows\\a.dll\n"  // 10
      "DELETEDIR %WOT%\\..\\Other\n"                       // 11
      "IF_EXISTS %TEMP%\\a.zip\n"                          // 12
      "ENDIF \n"                                           // 13
      "ENDIF\n"                                            // 14
      "ENDIF\n"                                            // 15
      "IF 1\n"                                             // 16
      "PERCENT = 50\n";                                    // 17
  EXPECT_EQ(Check(script),
            (std::vector<std::string>{
                "1: unknown command word \"GETFLIE\": the line is ignored",
                "2: the line begins with a blank: it is ignored",
                "3: \"DELETE\" without a blank after it: the line is ignored",
                "4: STATUS language \"xx\" is none of en, fr, de, pl, ru, ua, hu, fi, nl, es: "
                "the line is never shown",
                "5: PERCENT \"ten\" is not an integer: the install stops with an error here",
                "6: PERCENT 120 lies outside 0 to 100",
                "7: UNPACK needs two arguments and has one",
                "8: COPY has more than two arguments: \"D:\\Games\\World_of_Tanks\\c\" is ignored",
                "9: the sha256= word needs 64 hexadecimal digits: no file can match it",
                "9: \"ftp://example.org/a\" is not an http or https address",
                "10: GETFILE touches \"C:\\Windows\\a.dll\", outside the game folder and the "
                "temporary folder",
                "11: DELETEDIR touches \"D:\\Games\\World_of_Tanks\\..\\Other\", outside the game "
                "folder and the temporary folder",
                "13: \"ENDIF\" followed by a blank does not close its block",
                "15: ENDIF outside any block ends the script here; the lines after it never run",
                "16: a block without ENDIF: it runs to the end of the script",
            }));
}

// Faults authors met that the check once passed over, and an ENDIF it once refused.
TEST(ScriptCheckTest, WhatAnInstallWouldMissOrFailOnIsFound) {
  EXPECT_EQ(Check("IF_EXISTS %TEMP%\\a\nDELETE %TEMP%\\a\nENDIF"), std::vector<std::string>{});
  EXPECT_EQ(
      Check("GETFILE \"http://example.org/a b.zip\" %TEMP%\\a.zip\n"
            "IF OPTIONsaveConfg\nENDIF\nSTATUS_en=x\nSTATUS_en=Installed now\n\n"),
      (std::vector<std::string>{
          "1: the address \"http://example.org/a b.zip\" holds a blank or a control character, "
          "which no download takes: write a blank as %20",
          "2: IF \"OPTIONsaveConfg\" is neither 1 nor 0, so the block never runs: a misspelt "
          "OPTION word?",
          "4: \"STATUS_en=x\" without a blank after it: the line is ignored",
          "5: \"STATUS_en=Installed\": the \"=\" needs a blank on each side, else the line is "
          "never shown",
      }));
}

// A COPY, DELETE or DELETEDIR of the game folder, or a folder holding it, would be refused.
TEST(ScriptCheckTest, TheGameFolderItselfIsReportedHoweverItIsWritten) {
  EXPECT_EQ(
      Check("DELETEDIR \"%WOT%\"\nDELETEDIR %WOT%\\\nDELETEDIR %WOT%\\res_mods\\..\n"
            "DELETE %WOT%\nCOPY %TEMP%\\a D:\\Games\nDELETEDIR %WOT%\\res_mods\n"),
      (std::vector<std::string>{
          "1: DELETEDIR \"D:\\Games\\World_of_Tanks\" is refused: " +
              std::string(kGameFolderItself),
          "2: DELETEDIR \"D:\\Games\\World_of_Tanks\\\" is refused: " +
              std::string(kGameFolderItself),
          "3: DELETEDIR \"D:\\Games\\World_of_Tanks\\res_mods\\..\" is refused: " +
              std::string(kGameFolderItself),
          "4: DELETE \"D:\\Games\\World_of_Tanks\" is refused: " + std::string(kGameFolderItself),
          "5: COPY \"D:\\Games\" is refused: " + std::string(kGameFolderItself),
      }));
}

}  // namespace
}  // namespace ovix
