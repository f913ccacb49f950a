// The console front end: its command line, and whole installs run as a separate
// program against the service kit in a throw-away Wine-style prefix.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/cli_options.h"
#include "lang/languages.h"
#include "os/files.h"
#include "support/client_homes.h"
#include "support/fault_server.h"
#include "support/sandbox.h"
#include "support/service_kit.h"
#include "support/tree_snapshot.h"
#include "support/wait_until.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

TEST(CliOptions, EveryChoiceHasItsOptionAndMistakesAreNamed) {
  std::string error;
  const auto options = ParseCliOptions(
      {"--game-dir", "C:\\Games\\WoT", "--version", "Release 2.2", "--config", "Compact",
       "--keep-config", "--language", "de", "--script", "C:\\s.txt", "--service", "http://h"},
      error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->gameDirectory, "C:\\Games\\WoT");
  EXPECT_EQ(options->versionItem, "Release 2.2");
  EXPECT_EQ(options->configItem, "Compact");
  EXPECT_TRUE(options->keepConfig);
  EXPECT_EQ(options->languageCode, "de");
  EXPECT_EQ(options->script, "C:\\s.txt");
  EXPECT_EQ(options->serviceUrl, "http://h");
  EXPECT_FALSE(options->help);
  EXPECT_TRUE(ParseCliOptions({"--help"}, error)->help);

  EXPECT_FALSE(ParseCliOptions({"--version"}, error));
  EXPECT_EQ(error, "--version needs a value");
  EXPECT_FALSE(ParseCliOptions({"C:\\Games"}, error));
  EXPECT_EQ(error, "unknown option C:\\Games");

  // Two things at once, or a word that only means something beside another, is refused.
  for (const auto& [arguments, message] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--undo", "--dry-run"}, "--undo and --dry-run cannot be given together"},
           {{"--check", "s.txt", "--list-games"},
            "--list-games and --check cannot be given together"},
           {{"--force"}, "--force only goes with --undo"},
           {{"--dry-run", "--undo-on-failure"},
            "--undo-on-failure goes with an install, not with --dry-run"},
           {{"--game-dir", "--undo"}, "--game-dir needs a value"},
       }) {
    EXPECT_FALSE(ParseCliOptions(arguments, error)) << message;
    EXPECT_EQ(error, message);
  }
}

struct CliRun {
  int status = -1;
  std::string output;
};

CliRun RunCli(const std::string& arguments) {
  CliRun run;
  const std::string command = std::string(OVIX_CLI_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class CliInstallTest : public ::testing::Test {
 protected:
  CliInstallTest() {
    // A game whose client reports 1.10.2, with a configuration worth keeping.
    fs::create_directories(box.Local("C:\\work\\Game\\res_mods\\1.10.2\\ovix"));
    fs::copy_file(fs::path(OVIX_TEST_EXE_DIR) / "version_1_10_2_7.exe",
                  box.Local("C:\\work\\Game\\worldoftanks.exe"));
    std::ofstream(box.Local("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\config.txt")) << "mine";
    kit.WriteAnswer("versions/1.10.2.txt", "Release-2.1 2.1\r\nRelease-2.2 2.2\r\n");
  }
  std::string Read(const std::string& windowsPath) const {
    return ReadWholeFile(box.Local(windowsPath)).value_or("<missing>");
  }
  std::string Service() const { return "--service " + kit.BaseUrl(); }

  test::Sandbox box;  // WINEPREFIX and TMPDIR point into it, and the program inherits them
  test::ServiceKit kit;
};

TEST_F(CliInstallTest, TheChosenVersionInstallsAndKeepsTheConfiguration) {
  const CliRun run =
      RunCli(Service() + " --game-dir C:\\\\work\\\\Game --version Release-2.2" + " --keep-config");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("status: Current action: Ovix 2.2 is installed"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("progress: Install / Update (100%)"), std::string::npos);
  EXPECT_EQ(Read("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\version.txt"), "Ovix 2.2\n");
  EXPECT_EQ(Read("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\config.txt"), "mine");
}

// An author publishes the service with a key (scripts/service publish): a player who trusts
// that key installs; answers signed by another key, an archive altered after publishing and
// a script altered after signing are refused.
TEST_F(CliInstallTest, APublishedServiceInstallsOnlyWhatItsTrustedKeyCovers) {
  const fs::path keys = box.Root();
  for (const std::string name : {"author", "stranger"}) {
    const std::string make = "minisign -G -W -p " + (keys / (name + ".pub")).string() + " -s " +
                             (keys / (name + ".sec")).string() + " >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  const std::string publish = "bash " +
                              (test::ServiceKit::SourceDir() / "scripts/service").string() +
                              " publish " + kit.AnswersDir().string() + " --url " + kit.BaseUrl() +
                              " --key " + (keys / "author.sec").string();
  ASSERT_EQ(std::system(publish.c_str()), 0);
  const std::string script = ReadWholeFile(kit.AnswersDir() / "scripts/2.2.txt").value();
  EXPECT_NE(script.find("/files/ovix-2.2.zip\" \"%TEMP%\\ovix-2.2.zip\" sha256="),
            std::string::npos)
      << script;
  const std::string install =
      Service() + " --game-dir C:\\\\work\\\\Game --version Release-2.2 --trust ";
  const std::string notSigned = "message: " + std::string(Text(txtNotSigned, lngEN));

  const CliRun trusted = RunCli(install + (keys / "author.pub").string());
  EXPECT_EQ(trusted.status, 0) << trusted.output;
  EXPECT_EQ(Read("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\version.txt"), "Ovix 2.2\n");

  const CliRun stranger = RunCli(install + (keys / "stranger.pub").string());
  EXPECT_NE(stranger.status, 0);
  EXPECT_NE(stranger.output.find(notSigned), std::string::npos) << stranger.output;

  std::ofstream(kit.AnswersDir() / "files/ovix-2.2.zip", std::ios::binary | std::ios::app) << "x";
  const CliRun alteredFile = RunCli(install + (keys / "author.pub").string());
  EXPECT_EQ(alteredFile.status, 1) << alteredFile.output;
  EXPECT_NE(alteredFile.output.find("URL Moniker 0x800C0007"), std::string::npos)
      << alteredFile.output;

  kit.WriteAnswer("scripts/2.2.txt", script + "PERCENT = 100\n");
  const CliRun alteredScript = RunCli(install + (keys / "author.pub").string());
  EXPECT_EQ(alteredScript.status, 1) << alteredScript.output;
  EXPECT_NE(alteredScript.output.find(notSigned), std::string::npos) << alteredScript.output;
}

TEST_F(CliInstallTest, AFailedDownloadOrAWrongChoiceIsNoSuccess) {
  const CliRun missing = RunCli(Service() + " --game-dir C:\\\\work\\\\Game --version Release-2.1");
  EXPECT_EQ(missing.status, 1) << missing.output;
  EXPECT_NE(missing.output.find("message: Error whilst downloading"), std::string::npos)
      << missing.output;
  const CliRun wrong = RunCli(Service() + " --game-dir C:\\\\work\\\\Game --version Release-9");
  EXPECT_EQ(wrong.status, 2) << wrong.output;
  EXPECT_NE(wrong.output.find("no version named \"Release-9\""), std::string::npos);
  EXPECT_EQ(Read("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\config.txt"), "mine");
}

TEST_F(CliInstallTest, AGivenFolderOrScriptThatIsNoneIsAMistakeOnTheCommandLine) {
  fs::create_directories(box.Local("C:\\work\\Empty"));
  const CliRun empty = RunCli(Service() + " --game-dir C:\\\\work\\\\Empty --script " +
                              kit.BaseUrl() + "/scripts/2.2.txt");
  EXPECT_EQ(empty.status, 2) << empty.output;
  EXPECT_NE(empty.output.find("\"C:\\work\\Empty\" holds no worldoftanks.exe"), std::string::npos)
      << empty.output;
  const CliRun nothing = RunCli(Service() + " --game-dir C:\\\\work\\\\Game --script /no/such.txt");
  EXPECT_EQ(nothing.status, 2) << nothing.output;
  EXPECT_NE(nothing.output.find("\"/no/such.txt\" is no file and no http or https address"),
            std::string::npos)
      << nothing.output;
}

TEST_F(CliInstallTest, ALinuxScriptFileRunsAndEveryLineAndProblemIsPrinted) {
  // A Linux path to a file in the prefix; lines performed faster than the window shows them.
  const fs::path script = box.Local("C:\\work\\job\\s.txt");
  fs::create_directories(script.parent_path());
  std::ofstream(script, std::ios::binary)
      << "STATUS_de = eins\r\nPERCENT = 20\r\nSTATUS_de = zwei\r\nPERCENT = 40\r\n"
         "COPY %WOT%\\absent.txt %WOT%\\copy.txt\r\nDELETE %WOT%\\res_mods\r\n"
         "PERCENT = 100\r\n";
  const CliRun run = RunCli(Service() + " --game-dir C:\\\\work\\\\Game --language de --script " +
                            script.string());
  EXPECT_EQ(run.status, 3) << run.output;
  EXPECT_NE(run.output.find("language: de\n"), std::string::npos) << run.output;
  const std::string action(Text(txtCurrentAction, lngDE));
  const std::string install(Text(txtInstallUpdate, lngDE));
  const std::string lines = "status: " + action + "eins\nprogress: " + install +
                            " (20%)\nstatus: " + action + "zwei\nprogress: " + install + " (40%)\n";
  EXPECT_NE(run.output.find(lines), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("warning: COPY C:\\work\\Game\\absent.txt to "
                            "C:\\work\\Game\\copy.txt: the file to copy does not exist\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("warning: DELETE C:\\work\\Game\\res_mods: this is a folder"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("installed, with 2 warnings\n"), std::string::npos) << run.output;

  // A failed download names its address.
  const std::string missing = kit.BaseUrl() + "/files/none.zip";
  std::ofstream(script, std::ios::binary) << "GETFILE " << missing << " %TEMP%\\none.zip\r\n";
  const CliRun failed = RunCli(Service() + " --game-dir C:\\\\work\\\\Game --script ./" +
                               fs::relative(script).string());
  EXPECT_EQ(failed.status, 1) << failed.output;
  EXPECT_NE(failed.output.find("failed: " + missing + ": URL Moniker 0x800C0005\n"),
            std::string::npos)
      << failed.output;
}

TEST_F(CliInstallTest, AFailedInstallIsUndoneAtOnceOrOnRequestAndOnlyOnce) {
  const fs::path script = box.Local("C:\\work\\job\\s.txt");
  fs::create_directories(script.parent_path());
  std::ofstream(script, std::ios::binary)
      << "GETFILE " << kit.BaseUrl() << "/files/ovix-2.2.zip %TEMP%\\o.zip\r\n"
      << "UNPACK %TEMP%\\o.zip \"%WOT%\\res_mods\\%WOTVERSION%\"\r\n"
      << "DELETEDIR %WOT%\\res_mods\\1.10.2\\old\r\n"
      << "GETFILE " << kit.BaseUrl() << "/files/none.zip %WOT%\\none.zip\r\n";
  fs::create_directories(box.Local("C:\\work\\Game\\res_mods\\1.10.2\\old"));
  std::ofstream(box.Local("C:\\work\\Game\\res_mods\\1.10.2\\old\\o.txt")) << "o";
  const auto before = test::SnapshotTree(box.Local("C:\\work\\Game"));
  const std::string install =
      Service() + " --game-dir C:\\\\work\\\\Game --script " + script.string();

  const CliRun undone = RunCli(install + " --undo-on-failure");
  EXPECT_EQ(undone.status, 1) << undone.output;
  EXPECT_NE(undone.output.find("undo: the game folder is back as it was before the install\n"),
            std::string::npos)
      << undone.output;
  EXPECT_EQ(test::SnapshotTree(box.Local("C:\\work\\Game")), before);
  // The log tells the whole story, and the output where it is.
  const std::size_t logAt = undone.output.find("\nlog: ");
  ASSERT_NE(logAt, std::string::npos) << undone.output;
  const std::string logPath =
      undone.output.substr(logAt + 6, undone.output.find('\n', logAt + 1) - logAt - 6);
  const std::string log = ReadWholeFile(logPath).value_or("<no log>");
  for (const std::string& line : std::vector<std::string>{
           "install by Ovix Updater ", " into C:\\work\\Game (client 1.10.2)",
           "script from the file C:\\work\\job\\s.txt",
           "GETFILE " + kit.BaseUrl() + "/files/ovix-2.2.zip",
           "UNPACK C:\\tmp\\o.zip C:\\work\\Game\\res_mods\\1.10.2", "replaced ", "created ",
           "deleted folder ",
           "/files/none.zip C:\\work\\Game\\none.zip: failed, URL Moniker 0x800C0005",
           "not installed: a download by the script failed",
           "undo of C:\\work\\Game: back as it was before the install"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << " not in:\n" << log;
  }

  // Answered No, the failed install stands until --undo.
  const CliRun failed = RunCli(install);
  EXPECT_EQ(failed.status, 1) << failed.output;
  EXPECT_NE(failed.output.find("message: " + std::string(Text(txtUndoInstall, lngEN))),
            std::string::npos)
      << failed.output;
  EXPECT_EQ(Read("C:\\work\\Game\\res_mods\\1.10.2\\ovix\\version.txt"), "Ovix 2.2\n");
  const CliRun undo = RunCli("--undo --game-dir C:\\\\work\\\\Game");
  EXPECT_EQ(undo.status, 0) << undo.output;
  EXPECT_EQ(test::SnapshotTree(box.Local("C:\\work\\Game")), before);
  const CliRun again = RunCli("--undo --game-dir C:\\\\work\\\\Game");
  EXPECT_EQ(again.status, 1) << again.output;
  EXPECT_NE(again.output.find("undo: no install of this game folder is left to undo"),
            std::string::npos)
      << again.output;
}

// While an install runs, a second install or an undo of the same folder is told it is busy and
// changes nothing; the running install ends as it would have.
TEST_F(CliInstallTest, ASecondInstallOrUndoOfABusyFolderIsRefused) {
  test::FaultServer slow;
  fs::create_directories(box.Local("C:\\work\\job"));
  std::ofstream(box.Local("C:\\work\\job\\s.txt"))
      << "GETFILE " << slow.Url("/slow?size=400000&piece=20000&pause_ms=150")
      << " %WOT%\\res_mods\\big.bin\r\n";
  const std::string install =
      Service() + " --game-dir C:\\\\work\\\\Game --script C:\\\\work\\\\job\\\\s.txt";
  FILE* first = popen((std::string(OVIX_CLI_PATH) + " " + install + " 2>&1").c_str(), "r");
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(test::WaitUntil([&] { return !slow.Requests().empty(); }, std::chrono::seconds(30)));
  const CliRun second = RunCli(install);
  EXPECT_EQ(second.status, 1) << second.output;
  EXPECT_NE(second.output.find("message: " + std::string(Text(txtGameFolderBusy, lngEN))),
            std::string::npos)
      << second.output;
  EXPECT_NE(second.output.find("not installed: another install or undo of this game folder runs"),
            std::string::npos);
  const CliRun undo = RunCli("--undo --game-dir C:\\\\work\\\\Game");
  EXPECT_EQ(undo.status, 1) << undo.output;
  EXPECT_NE(undo.output.find("undo: refused: another install or undo of this game folder runs"),
            std::string::npos)
      << undo.output;
  std::string output;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, first)) > 0;)
    output.append(buffer, got);
  EXPECT_EQ(pclose(first), 0) << output;
  EXPECT_EQ(fs::file_size(box.Local("C:\\work\\Game\\res_mods\\big.bin")), 400000u);
  EXPECT_EQ(RunCli("--undo --game-dir C:\\\\work\\\\Game").status, 0);
}

// A failure a guard catches is a warning: the install goes on as the script says, and the
// player and the log are told; the dry run tells it too.
TEST_F(CliInstallTest, AFailureCaughtByAGuardIsAWarning) {
  fs::create_directories(box.Local("C:\\work\\job"));
  std::ofstream(box.Local("C:\\work\\job\\g.txt"))
      << "IF_EXISTS %WOT%\\worldoftanks.exe\r\nUNPACK %WOT%\\none.zip %WOT%\\res_mods\r\nENDIF\r\n"
         "PERCENT = 100\r\n";
  const std::string install =
      Service() + " --game-dir C:\\\\work\\\\Game --script C:\\\\work\\\\job\\\\g.txt";
  for (const std::string& mode : {std::string(), std::string(" --dry-run")}) {
    const CliRun run = RunCli(install + mode);
    EXPECT_EQ(run.status, mode.empty() ? 3 : 0) << run.output;
    EXPECT_NE(run.output.find(mode.empty() ? "a failure inside an IF_EXISTS or IF_NEXISTS block"
                                           : "the block would fail here ("),
              std::string::npos)
        << run.output;
  }
  EXPECT_NE(ReadWholeFile(box.Root() / "data" / "install.log")
                .value_or("")
                .find("a failure inside an IF_EXISTS or IF_NEXISTS block"),
            std::string::npos);
}

// An author checks scripts: the kit's own from their files, one with faults at its address,
// with the placeholders a given game folder fills in; and one that cannot be read.
TEST_F(CliInstallTest, CheckPrintsEachFindingWithItsLineAndSaysByItsStatus) {
  const CliRun sound = RunCli(Service() + " --check " +
                              (test::ServiceKit::ExampleDir() / "scripts" / "2.2.txt").string());
  EXPECT_EQ(sound.status, 0) << sound.output;
  EXPECT_EQ(sound.output, "0 findings\n");

  kit.WriteAnswer("scripts/faulty.txt",
                  "GETFILE @SERVICE_URL@/files/a.zip %TEMP%\\a.zip\r\n"
                  "UNPACK %TEMP%\\a.zip %WOT%\\res_mods\\%WOTVERSION%\r\n"
                  "COPY %WOT%\\a.txt C:\\work\\Elsewhere\\a.txt\r\n"
                  "PERCENT = 101\r\n");
  const std::string address = kit.BaseUrl() + "/get-script?version=faulty";
  const CliRun faulty =
      RunCli(Service() + " --game-dir C:\\\\work\\\\Game --check '" + address + "'");
  EXPECT_EQ(faulty.status, 1) << faulty.output;
  EXPECT_EQ(faulty.output,
            address +
                ":3: COPY touches \"C:\\work\\Elsewhere\\a.txt\", outside the game folder "
                "and the temporary folder\n" +
                address + ":4: PERCENT 101 lies outside 0 to 100\n2 findings\n");

  // A NUL in a line is shown, not the end of the message; a folder is no script.
  std::ofstream(box.Root() / "nul.txt", std::ios::binary) << std::string("PERCENT = t\0en\r\n", 16);
  const CliRun nul = RunCli("--check " + (box.Root() / "nul.txt").string());
  EXPECT_EQ(nul.status, 1) << nul.output;
  EXPECT_NE(nul.output.find(":1: PERCENT \"t\\x00en\" is not an integer"), std::string::npos)
      << nul.output;
  const CliRun folder = RunCli("--check " + box.Root().string());
  EXPECT_EQ(folder.status, 2) << folder.output;
  const CliRun unreadable = RunCli("--check /no/such/script.txt");
  EXPECT_EQ(unreadable.status, 2) << unreadable.output;
  EXPECT_NE(unreadable.output.find("cannot read the script \"/no/such/script.txt\""),
            std::string::npos);
}

// The kit's install, first dry: nothing anywhere on the drive changes, and what it says it
// would write and make in the game folder is what the install then records, no more.
TEST_F(CliInstallTest, ADryRunChangesNothingAndTellsWhatTheInstallThenWrites) {
  const std::string install =
      Service() + " --game-dir C:\\\\work\\\\Game --version Release-2.2 --keep-config";
  const fs::path drive = box.Root() / "drive_c";
  // The whole drive but the kit's own folder, which holds a pipe.
  std::set<fs::path> kitFolders;
  for (const auto& entry : fs::directory_iterator(drive / "tmp"))
    if (entry.path().filename().string().starts_with("ovix-service-kit")) kitFolders.insert(entry);
  const auto before = test::SnapshotTree(drive, kitFolders);
  const CliRun dry = RunCli(install + " --dry-run");
  EXPECT_EQ(dry.status, 0) << dry.output;
  EXPECT_EQ(test::SnapshotTree(drive, kitFolders), before) << dry.output;
  EXPECT_FALSE(fs::exists(box.Root() / "data" / "install.log")) << "a dry run wrote the log";
  EXPECT_NE(dry.output.find("dry run: the install would run to its end; nothing was changed"),
            std::string::npos)
      << dry.output;

  // "... would write PATH", "... would replace PATH", "... would make the folder PATH".
  const fs::path game = box.Local("C:\\work\\Game");
  std::set<std::string> told;
  std::istringstream lines(dry.output);
  for (std::string line; std::getline(lines, line);) {
    for (const std::string verb : {"would write ", "would replace ", "would make the folder "}) {
      const std::size_t at = line.rfind(verb);
      if (!line.starts_with("dry run: ") || at == std::string::npos) continue;
      const fs::path local = box.Local(line.substr(at + verb.size()));
      if (!local.lexically_relative(game).string().starts_with(".."))
        told.insert(local.lexically_normal().string());
    }
  }
  ASSERT_TRUE(RunCli(install).status == 0);
  // The install log names each change the journal recorded in the game folder.
  std::set<std::string> written;
  std::istringstream log(ReadWholeFile(box.Root() / "data" / "install.log").value_or(""));
  for (std::string line; std::getline(log, line);) {
    for (const std::string change : {"replaced ", "created ", "made folder "}) {
      const std::size_t at = line.find(change);
      if (at != std::string::npos && line.compare(at + change.size(), 1, "/") == 0)
        written.insert(fs::path(line.substr(at + change.size())).lexically_normal().string());
    }
  }
  EXPECT_FALSE(written.empty());
  EXPECT_EQ(told, written) << dry.output;

  // Each address is asked for its size only; one that does not answer fails the dry run too.
  const auto archiveSize = fs::file_size(test::ServiceKit::ExampleDir() / "files" / "ovix-2.2.zip");
  EXPECT_NE(dry.output.find("/files/ovix-2.2.zip to C:\\tmp\\ovix-2.2.zip: reachable, " +
                            std::to_string(archiveSize) + " bytes\n"),
            std::string::npos)
      << dry.output;
  // Later lines see what earlier ones would have done: the folder deleted, not its files.
  std::ofstream(box.Local("C:\\work\\missing.txt"))
      << "DELETEDIR %WOT%\\res_mods\\1.10.2\\ovix\r\n"
      << "IF_NEXISTS %WOT%\\res_mods\\1.10.2\\ovix\\config.txt\r\n"
      << "GETFILE " << kit.BaseUrl() << "/files/missing.zip %TEMP%\\missing.zip\r\nENDIF\r\n";
  const auto installed = test::SnapshotTree(game);
  const CliRun missing = RunCli(install + " --dry-run --script C:\\\\work\\\\missing.txt");
  EXPECT_EQ(missing.status, 1) << missing.output;
  EXPECT_EQ(test::SnapshotTree(game), installed);
  EXPECT_NE(missing.output.find("ovix\\: would delete the folder and the 2 files in it\n"
                                "dry run: IF_NEXISTS C:\\work\\Game\\res_mods\\1.10.2\\ovix\\"
                                "config.txt: the file does not exist, so the block runs\n"),
            std::string::npos)
      << missing.output;
  EXPECT_NE(missing.output.find("/files/missing.zip to C:\\tmp\\missing.zip: would fail, URL "
                                "Moniker 0x800C0005\n"),
            std::string::npos)
      << missing.output;
}

TEST(CliClients, ASteamClientIsListedAndInstalledIntoThroughItsProtonPrefix) {
  test::ClientHomes homes(OVIX_TEST_EXE_DIR);
  test::ServiceKit kit;
  kit.WriteAnswer("versions/1.10.2.txt", "Release-2.1 2.1\r\nRelease-2.2 2.2\r\n");
  const CliRun none = RunCli("--list-games");
  EXPECT_EQ(none.status, 0) << none.output;
  EXPECT_EQ(none.output, "ovix-updater-cli: no game client found\n");

  const fs::path library = homes.Home() / ".local/share/Steam";
  const fs::path game = library / "steamapps/common/World of Tanks/eu";
  homes.Client(game);
  fs::create_directories(game / "res_mods/1.10.2");
  const fs::path proton = library / "steamapps/compatdata/1407200/pfx";
  homes.Prefix(proton);
  const CliRun list = RunCli("--list-games");
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_EQ(list.output, fs::canonical(game).string() + "\t1.10.2\t" +
                             fs::canonical(proton).string() + "\t" +
                             test::ClientHomes::OnDriveZ(game) + "\n");

  const CliRun found = RunCli("--service " + kit.BaseUrl() + " --version Release-2.2");
  EXPECT_EQ(found.status, 0) << found.output;
  EXPECT_NE(found.output.find("game folder: " + test::ClientHomes::OnDriveZ(game) + "\n"),
            std::string::npos)
      << found.output;
  EXPECT_EQ(ReadWholeFile(game / "res_mods/1.10.2/ovix/version.txt"), "Ovix 2.2\n") << found.output;

  // Named by its folder here, and a folder without a client refused.
  fs::remove(game / "res_mods/1.10.2/ovix/version.txt");
  const CliRun given = RunCli("--service " + kit.BaseUrl() + " --game-dir '" + game.string() +
                              "' --version Release-2.2");
  EXPECT_EQ(given.status, 0) << given.output;
  EXPECT_EQ(ReadWholeFile(game / "res_mods/1.10.2/ovix/version.txt"), "Ovix 2.2\n");
  const CliRun empty = RunCli("--game-dir '" + library.string() + "'");
  EXPECT_EQ(empty.status, 2) << empty.output;
  EXPECT_NE(empty.output.find("holds no worldoftanks.exe"), std::string::npos) << empty.output;
}

}  // namespace
}  // namespace ovix
