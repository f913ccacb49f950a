// Unattended installs killed at random moments: whenever the process dies, each file it was
// replacing holds its old bytes or its complete new ones, a new file is absent or complete,
// and nothing beside the game folder changes; an install that runs to its end afterwards
// removes the partial files the kills left. OVIX_KILL_SEED=<n> replays a series' delays.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "os/files.h"
#include "script/install_journal.h"
#include "support/fault_server.h"
#include "support/sandbox.h"
#include "support/scoped_environment.h"
#include "support/tree_snapshot.h"
#include "support/wait_until.h"

extern char** environ;

namespace ovix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kKills = 100;
// Far beyond one run under ASan on a busy machine: a child still there by then is a fault.
constexpr auto kRunLimit = 60s;
constexpr auto kReapLimit = 10s;
// Enough failure texts to diagnose; the counts tell the rest.
constexpr int kReportedFaults = 5;

constexpr char kGameDir[] = "C:\\work\\Game";
constexpr char kModDir[] = "C:\\work\\Game\\res_mods\\1.10.2\\ovix";
constexpr char kScript[] = "C:\\work\\job\\install.txt";

void WriteBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

// Bytes that share no prefix with the server's pattern bodies, so an old file can never be
// taken for a cut-off new one.
std::string OldBytes(std::size_t size, std::size_t salt) {
  return test::PatternBytes(size, (salt + 1) * (std::size_t{1} << 40));
}

// A file to restore, quick to make and unlike any old one.
std::string NewCopyBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return bytes;
}

bool IsPartialFile(const fs::path& file) {
  const std::string name = file.filename().string();
  return name.find(".ovix-") != std::string::npos && name.ends_with(".incomplete");
}

// The updater as its own process group, so a kill takes anything it started along with it.
// Whatever way the test leaves, the group is killed and the child reaped: no orphans.
class Child {
 public:
  Child(const std::vector<std::string>& arguments, const fs::path& output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.data()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int error = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + arguments[0]);
  }
  ~Child() {
    Kill();
    if (!reaped_) waitpid(pid_, &status_, 0);  // SIGKILL cannot be ignored: this returns
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reaps the child if it has ended; true while it runs.
  bool Running() {
    if (!reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
  }
  bool WaitForEnd(std::chrono::milliseconds limit) {
    return test::WaitUntil([this] { return !Running(); }, limit);
  }
  // Only before the reaping: until then the group's id cannot pass to another process.
  void Kill() const {
    if (!reaped_) kill(-pid_, SIGKILL);
  }
  bool ExitedWith(int code) const {
    return reaped_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
  }
  bool Killed() const { return reaped_ && WIFSIGNALED(status_) && WTERMSIG(status_) == SIGKILL; }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool reaped_ = false;
};

// Kill delays drawn uniformly over one run's duration from a printed seed.
class KillDelays {
 public:
  explicit KillDelays(const char* series) {
    const char* given = std::getenv("OVIX_KILL_SEED");
    seed_ = given != nullptr ? std::strtoull(given, nullptr, 10) : std::random_device{}();
    random_.seed(seed_);
    std::printf("%s: seed %llu (OVIX_KILL_SEED=%llu replays it)\n", series,
                static_cast<unsigned long long>(seed_), static_cast<unsigned long long>(seed_));
  }
  std::chrono::microseconds Next(Clock::duration span) {
    const auto limit = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
    return std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(0, limit)(random_));
  }
  std::uint64_t Seed() const { return seed_; }

 private:
  std::uint64_t seed_ = 0;
  std::mt19937_64 random_;
};

// A game folder with a mod folder, a neighbour tree beside it that no install may touch, and
// the job folder holding the script. The updater runs as an unattended install would.
class KillFaultTest : public ::testing::Test {
 protected:
  KillFaultTest() {
    fs::create_directories(box.Local(kModDir));
    fs::copy_file(fs::path(OVIX_TEST_EXE_DIR) / "version_1_10_2_7.exe",
                  box.Local(std::string(kGameDir) + "\\worldoftanks.exe"));
    WriteBytes(box.Local("C:\\work\\Neighbour\\notes.txt"), "keep me\r\n");
    WriteBytes(box.Local("C:\\work\\Neighbour\\saves\\slot1.dat"), OldBytes(4096, 90));
    WriteBytes(box.Local("C:\\work\\Neighbour\\saves\\deep\\slot2.dat"), OldBytes(70000, 91));
    fs::create_directories(box.Local("C:\\work\\Neighbour\\empty"));
    neighbour_ = test::SnapshotTree(box.Local("C:\\work\\Neighbour"));
  }

  void WriteScript(const std::string& text) { WriteBytes(box.Local(kScript), text); }

  Child Start() const {
    return Child({OVIX_CLI_PATH, "--service", server.BaseUrl(), "--game-dir", kGameDir, "--script",
                  kScript, "--language", "en"},
                 box.Local("C:\\tmp\\cli-output.txt"));
  }

  // One uninterrupted install, which must succeed; how long it took, or nothing when it
  // outlived the limit.
  std::optional<Clock::duration> RunToEnd() {
    const auto start = Clock::now();
    Child child = Start();
    if (!child.WaitForEnd(kRunLimit)) {
      ADD_FAILURE() << "the updater still runs after " << kRunLimit.count() << " s";
      return std::nullopt;
    }
    const auto took = Clock::now() - start;
    const std::string output =
        ReadWholeFile(box.Local("C:\\tmp\\cli-output.txt")).value_or("<no output>");
    EXPECT_TRUE(child.ExitedWith(0)) << output;
    EXPECT_NE(output.find("\ninstalled\n"), std::string::npos) << output;
    return took;
  }

  // Starts the updater, kills it after `delay`, reaps it; true when the kill found it running.
  bool RunAndKill(std::chrono::microseconds delay) {
    const auto start = Clock::now();
    Child child = Start();
    std::this_thread::sleep_until(start + delay);  // the random moment is the point here
    const bool running = child.Running();
    child.Kill();
    EXPECT_TRUE(child.WaitForEnd(kReapLimit)) << "killed updater not gone in time";
    return running && child.Killed();
  }

  // The neighbour tree is as it was, and the parent folder holds nothing new.
  void ExpectOutsideUntouched(int run) {
    EXPECT_EQ(test::SnapshotTree(box.Local("C:\\work\\Neighbour")), neighbour_) << "run " << run;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(box.Local("C:\\work")))
      names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Game", "Neighbour", "job"})) << "run " << run;
  }

  // Counts the partial files in the game folder not seen before; they stay, for the next
  // run to sweep. Anything else that is not expected is a fault.
  int CountNewPartialFiles(const std::set<fs::path>& expected, int run) {
    int found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(box.Local(kGameDir))) {
      if (IsPartialFile(entry.path())) {
        found += seenPartialFiles_.insert(entry.path()).second;
      } else if (entry.path().filename() != "worldoftanks.exe") {
        EXPECT_TRUE(expected.contains(entry.path())) << "run " << run << ": stray " << entry.path();
      }
    }
    return found;
  }
  // The bytes of downloads kept in the data folder to be continued.
  std::uintmax_t KeptDownloadBytes() const {
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator(box.Root() / "data" / "downloads", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
      std::error_code ignored;
      if (it->path().extension() == ".part") bytes += fs::file_size(it->path(), ignored);
    }
    return bytes;
  }
  // After the kills, an install that runs to its end removes what they left.
  void ExpectAWholeRunSweepsPartialFiles() {
    ASSERT_TRUE(RunToEnd());
    for (const auto& entry : fs::recursive_directory_iterator(box.Local(kGameDir)))
      EXPECT_FALSE(IsPartialFile(entry.path())) << entry.path() << " was left behind";
  }

  test::Sandbox box;  // WINEPREFIX and TMPDIR point into it, and the updater inherits them
  test::FaultServer server;

 private:
  std::map<std::string, std::string> neighbour_;
  std::set<fs::path> seenPartialFiles_;
};

TEST_F(KillFaultTest, AKilledDownloadLeavesTheOldFileOrTheWholeNewOne) {
  // 2 MB in 64 KB pieces 8 ms apart: a few hundred ms of transfer.
  constexpr std::size_t kNewSize = 2 * 1024 * 1024;
  const std::string oldBytes = OldBytes(64 * 1024, 1);
  const std::string newBytes = test::PatternBytes(kNewSize);
  const std::string destination = std::string(kModDir) + "\\textures.pkg";
  const fs::path local = box.Local(destination);
  WriteBytes(local, oldBytes);
  WriteScript("STATUS_en = Downloading\r\nGETFILE " + server.Url("/slow?size=") +
              std::to_string(kNewSize) + "&piece=65536&pause_ms=8 %WOT%" +
              destination.substr(std::string(kGameDir).size()) + "\r\n");
  const std::set<fs::path> expected = {local, local.parent_path(),
                                       local.parent_path().parent_path(),
                                       box.Local("C:\\work\\Game\\res_mods")};

  const std::optional<Clock::duration> oneRun = RunToEnd();
  ASSERT_TRUE(oneRun);
  ASSERT_EQ(ReadWholeFile(local), newBytes) << "the uninterrupted install did not download";
  WriteBytes(local, oldBytes);

  KillDelays delays("GETFILE kills");
  int running = 0, old = 0, fresh = 0, corrupted = 0, partial = 0;
  for (int run = 0; run < kKills; ++run) {
    const auto delay = delays.Next(*oneRun);
    if (RunAndKill(delay)) ++running;
    const std::optional<std::string> now = ReadWholeFile(local);
    if (now == oldBytes) {
      ++old;
    } else if (now == newBytes) {
      ++fresh;
      WriteBytes(local, oldBytes);
    } else {
      if (++corrupted <= kReportedFaults) {
        ADD_FAILURE() << "run " << run << " (seed " << delays.Seed() << ", kill after "
                      << delay.count() << " us): " << local << " "
                      << (now ? "holds " + std::to_string(now->size()) + " bytes" : "is missing");
      }
      WriteBytes(local, oldBytes);
    }
    // What was received is kept in the data folder, never beside the file in the game.
    EXPECT_EQ(CountNewPartialFiles(expected, run), 0) << "run " << run;
    partial += KeptDownloadBytes() > 0;
    // Counted for this run alone (this server gives no validator: nothing would continue).
    fs::remove_all(box.Root() / "data" / "downloads");
    ExpectOutsideUntouched(run);
  }
  ExpectAWholeRunSweepsPartialFiles();
  std::printf(
      "kills during GETFILE: %d, landed while running: %d, files old: %d, new: %d, "
      "corrupted: %d, left a part received: %d (one run %lld ms)\n",
      kKills, running, old, fresh, corrupted, partial,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*oneRun).count()));
  EXPECT_EQ(corrupted, 0);
  // The series tried what it names: most kills found the updater running, and downloads
  // cut off mid-way left what they had received.
  EXPECT_GE(running, kKills / 2);
  EXPECT_GT(partial, 0);
}

TEST_F(KillFaultTest, AKilledDownloadIsContinuedByTheNextRun) {
  constexpr std::size_t kSize = 2 * 1024 * 1024;
  const std::string destination = std::string(kModDir) + "\\textures.pkg";
  WriteScript("GETFILE " + server.Url("/ranged?size=") + std::to_string(kSize) +
              "&piece=65536&pause_ms=8 %WOT%" + destination.substr(std::string(kGameDir).size()) +
              "\r\n");
  {
    Child child = Start();
    // Killed once a good part has arrived and its version is written down.
    ASSERT_TRUE(test::WaitUntil([&] { return KeptDownloadBytes() >= kSize / 4; }, kRunLimit));
    child.Kill();
    ASSERT_TRUE(child.WaitForEnd(kReapLimit));
  }
  const std::uintmax_t kept = KeptDownloadBytes();
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(ReadWholeFile(box.Local(destination)) == test::PatternBytes(kSize));
  // The file's requests, leaving out those for the service's lists.
  const std::vector<std::string> targets = server.Requests();
  const std::vector<std::string> asked = server.RangesAsked();
  std::vector<std::string> ranges;
  for (std::size_t i = 0; i < targets.size(); ++i)
    if (targets[i].starts_with("/ranged")) ranges.push_back(asked[i]);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0], "");
  EXPECT_EQ(ranges[1], "bytes=" + std::to_string(kept) + "-");
  EXPECT_EQ(KeptDownloadBytes(), 0u) << "the finished download's part was not removed";
}

TEST_F(KillFaultTest, AKilledCopyLeavesTheOldFileOrTheWholeNewOne) {
  // The keep-configuration pattern puts the player's file back with COPY; three copies of
  // 32 MB make most of a run's time the copying.
  constexpr std::size_t kNewSize = 32 * 1024 * 1024;
  const std::string newBytes = NewCopyBytes(kNewSize);
  WriteBytes(box.Local("C:\\work\\job\\saved.cfg"), newBytes);
  std::vector<std::string> oldBytes;
  std::vector<fs::path> targets;
  std::string script = "STATUS_en = Restoring\r\n";
  for (int i = 0; i < 3; ++i) {
    const std::string name = "config" + std::to_string(i) + ".xml";
    targets.push_back(box.Local(std::string(kModDir) + "\\" + name));
    oldBytes.push_back(
        OldBytes(64 * 1024 + static_cast<std::size_t>(i), static_cast<std::size_t>(i)));
    WriteBytes(targets.back(), oldBytes.back());
    script += "COPY C:\\work\\job\\saved.cfg %WOT%\\res_mods\\1.10.2\\ovix\\" + name + "\r\n";
  }
  WriteScript(script);
  std::set<fs::path> expected(targets.begin(), targets.end());
  for (fs::path p = targets[0].parent_path(); p != box.Local(kGameDir); p = p.parent_path())
    expected.insert(p);
  const auto restore = [&] {
    for (std::size_t i = 0; i < targets.size(); ++i) {
      if (ReadWholeFile(targets[i]) != oldBytes[i]) WriteBytes(targets[i], oldBytes[i]);
    }
  };

  const std::optional<Clock::duration> oneRun = RunToEnd();
  ASSERT_TRUE(oneRun);
  for (const fs::path& target : targets) ASSERT_EQ(ReadWholeFile(target), newBytes);
  restore();

  KillDelays delays("COPY kills");
  int running = 0, old = 0, fresh = 0, corrupted = 0, partial = 0;
  for (int run = 0; run < kKills / 2; ++run) {
    const auto delay = delays.Next(*oneRun);
    if (RunAndKill(delay)) ++running;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const std::optional<std::string> now = ReadWholeFile(targets[i]);
      if (now == oldBytes[i]) {
        ++old;
      } else if (now == newBytes) {
        ++fresh;
      } else if (++corrupted <= kReportedFaults) {
        ADD_FAILURE() << "run " << run << " (seed " << delays.Seed() << ", kill after "
                      << delay.count() << " us): " << targets[i] << " "
                      << (now ? "holds " + std::to_string(now->size()) + " bytes" : "is missing");
      }
    }
    restore();
    partial += CountNewPartialFiles(expected, run);
    ExpectOutsideUntouched(run);
  }
  ExpectAWholeRunSweepsPartialFiles();
  std::printf(
      "kills during COPY: %d, landed while running: %d, files old: %d, new: %d, corrupted: %d, "
      "partial files left: %d (one run %lld ms)\n",
      kKills / 2, running, old, fresh, corrupted, partial,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*oneRun).count()));
  EXPECT_EQ(corrupted, 0);
  EXPECT_GE(running, kKills / 4);
  EXPECT_GT(partial, 0);  // copies cut off mid-way
}

struct TMember {
  std::string name;  // in the archive, below the game folder
  std::string newBytes;
  std::optional<std::string> oldBytes;  // the file the game folder holds before
};

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};

// Text-like content that deflates well, so that inflating it takes real time.
std::string NewMemberBytes(std::size_t size, std::size_t salt) {
  std::string text;
  text.reserve(size + 64);
  for (std::size_t line = 0; text.size() < size; ++line)
    text += "member " + std::to_string(salt) + " line " + std::to_string(line * 7919 % 100003) +
            " value " + std::to_string(line * line % 65521) + "\r\n";
  text.resize(size);
  return text;
}

void WriteArchive(const fs::path& file, const std::vector<TMember>& members) {
  fs::create_directories(file.parent_path());
  std::unique_ptr<zip_t, TZipDiscard> zip(
      zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr));
  if (!zip) throw std::runtime_error("cannot create " + file.string());
  for (const TMember& member : members) {
    zip_source_t* data =
        zip_source_buffer(zip.get(), member.newBytes.data(), member.newBytes.size(), 0);
    const zip_int64_t index = zip_file_add(zip.get(), member.name.c_str(), data, 0);
    if (index < 0) {
      zip_source_free(data);
      throw std::runtime_error(zip_strerror(zip.get()));
    }
    // The fastest compression: the test makes the archive once, the updater inflates it often.
    zip_set_file_compression(zip.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
  }
  if (zip_close(zip.get()) != 0) throw std::runtime_error(zip_strerror(zip.get()));
  zip.release();  // closed
}

TEST_F(KillFaultTest, AKilledUnpackLeavesEveryMemberOldOrAbsentOrWhole) {
  // Replaced files and new ones in new folders, interleaved, 1.5 MB each.
  constexpr std::size_t kMemberSize = 1536 * 1024;
  const std::vector<std::pair<std::string, bool>> layout = {
      {"gui.pkg", true},          {"maps/arena.pkg", false}, {"sounds.pkg", true},
      {"fonts/ui.pkg", false},    {"config.xml", true},      {"maps/night/sky.pkg", false},
      {"scripts/main.pyc", true}, {"effects.pkg", true},
  };
  std::vector<TMember> members;
  for (const auto& [name, existing] : layout) {
    const std::size_t salt = members.size();
    members.push_back({"res_mods/1.10.2/ovix/" + name, NewMemberBytes(kMemberSize, salt),
                       existing ? std::optional(OldBytes(64 * 1024 + salt, salt)) : std::nullopt});
  }
  WriteArchive(box.Local("C:\\work\\job\\update.zip"), members);
  const auto target = [&](const TMember& member) {
    return box.Local(std::string(kGameDir) + "\\" + member.name);
  };
  std::set<fs::path> expected;
  for (const TMember& member : members) {
    for (fs::path p = target(member); p != box.Local(kGameDir); p = p.parent_path())
      expected.insert(p);
  }
  const auto restore = [&] {
    for (const TMember& member : members) {
      if (member.oldBytes) {
        if (ReadWholeFile(target(member)) != member.oldBytes)
          WriteBytes(target(member), *member.oldBytes);
      } else {
        fs::remove(target(member));
      }
    }
    for (const char* folder : {"maps", "fonts"})
      fs::remove_all(box.Local(std::string(kModDir) + "\\" + folder));
  };
  restore();
  WriteScript("STATUS_en = Unpacking\r\nUNPACK C:\\work\\job\\update.zip %WOT%\r\n");

  const std::optional<Clock::duration> oneRun = RunToEnd();
  ASSERT_TRUE(oneRun);
  for (const TMember& member : members)
    ASSERT_EQ(ReadWholeFile(target(member)), member.newBytes) << member.name << " not unpacked";
  restore();

  KillDelays delays("UNPACK kills");
  int running = 0, midway = 0, old = 0, fresh = 0, absent = 0, corrupted = 0, partial = 0;
  for (int run = 0; run < kKills; ++run) {
    const auto delay = delays.Next(*oneRun);
    if (RunAndKill(delay)) ++running;
    int runOld = 0, runFresh = 0, runCorrupted = 0;
    for (const TMember& member : members) {
      const std::optional<std::string> now = ReadWholeFile(target(member));
      if (now == member.newBytes) {
        ++runFresh;
      } else if (member.oldBytes ? now == member.oldBytes : !fs::exists(target(member))) {
        ++runOld;
        ++(member.oldBytes ? old : absent);
      } else {
        ++runCorrupted;
        if (corrupted + runCorrupted <= kReportedFaults) {
          ADD_FAILURE() << "run " << run << " (seed " << delays.Seed() << ", kill after "
                        << delay.count() << " us): " << member.name << " "
                        << (now ? "holds " + std::to_string(now->size()) + " bytes" : "is missing");
        }
      }
    }
    fresh += runFresh;
    corrupted += runCorrupted;
    const int left = CountNewPartialFiles(expected, run);
    partial += left;
    if (left > 0 || runCorrupted > 0 || (runOld > 0 && runFresh > 0)) ++midway;
    if (runOld != static_cast<int>(members.size())) restore();
    ExpectOutsideUntouched(run);
  }
  ExpectAWholeRunSweepsPartialFiles();
  std::printf(
      "kills during UNPACK: %d, landed while running: %d, stopped mid-unpack: %d, member files "
      "old: %d, absent: %d, new: %d, corrupted: %d, partial files left: %d (one run %lld ms)\n",
      kKills, running, midway, old, absent, fresh, corrupted, partial,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*oneRun).count()));
  EXPECT_EQ(corrupted, 0);
  EXPECT_GE(running, kKills / 2);
  EXPECT_GT(midway, 0);  // some kills stopped an unpack between its members
}

// An install of many small files over existing ones, with a DELETE and a DELETEDIR, killed
// during the install and during its undo: an undo run to its end afterwards leaves the game
// folder exactly as it was before that install.
class KillUndoTest : public KillFaultTest {
 protected:
  KillUndoTest() {
    std::vector<TMember> members;
    for (int i = 0; i < kMembers; ++i) {
      const std::string name = "m/" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".txt";
      members.push_back({name, NewMemberBytes(512, i), std::nullopt});
      if (i < kExisting) WriteBytes(Mod(name), OldBytes(300 + i, i));
    }
    WriteArchive(box.Local("C:\\work\\job\\many.zip"), members);
    WriteBytes(Mod("doomed.txt"), "doomed");
    WriteBytes(Mod("oldtree/a.txt"), OldBytes(5000, 7));
    WriteBytes(Mod("oldtree/deep/b.txt"), OldBytes(9000, 8));
    WriteScript(
        "STATUS_en = Installing\r\nUNPACK C:\\work\\job\\many.zip %WOT%\\res_mods\\1.10.2\\ovix\r\n"
        "DELETE %WOT%\\res_mods\\1.10.2\\ovix\\doomed.txt\r\n"
        "DELETEDIR %WOT%\\res_mods\\1.10.2\\ovix\\oldtree\r\n");
    before_ = test::SnapshotTree(box.Local(kGameDir));
  }
  fs::path Mod(const std::string& name) const {
    return box.Local(std::string(kModDir)) / fs::path(name);
  }
  Child StartUndo() const {
    return Child({OVIX_CLI_PATH, "--undo", "--game-dir", kGameDir},
                 box.Local("C:\\tmp\\undo-output.txt"));
  }
  // An undo run to its end; how long it took. Nothing to undo is an end too.
  std::optional<Clock::duration> UndoToEnd(int run) {
    const auto start = Clock::now();
    Child child = StartUndo();
    if (!child.WaitForEnd(kRunLimit)) {
      ADD_FAILURE() << "run " << run << ": the undo still runs after " << kRunLimit.count() << " s";
      return std::nullopt;
    }
    const std::string output =
        ReadWholeFile(box.Local("C:\\tmp\\undo-output.txt")).value_or("<no output>");
    EXPECT_TRUE(child.ExitedWith(0) ||
                output.find("no install of this game folder is left") != std::string::npos)
        << "run " << run << ": " << output;
    return Clock::now() - start;
  }
  bool UndoAndKill(std::chrono::microseconds delay) {
    const auto start = Clock::now();
    Child child = StartUndo();
    std::this_thread::sleep_until(start + delay);
    const bool running = child.Running();
    child.Kill();
    EXPECT_TRUE(child.WaitForEnd(kReapLimit)) << "killed undo not gone in time";
    return running && child.Killed();
  }
  // Whether a journal of the game folder waits for an undo to finish the job.
  bool Unfinished() const {
    return HasUnfinishedJournal(UserDataFolder().value(), box.Local(kGameDir));
  }
  // The folder as it was before the install; a few differences are told in full.
  void ExpectAsBefore(int run, std::uint64_t seed, std::chrono::microseconds delay) {
    const auto now = test::SnapshotTree(box.Local(kGameDir));
    if (now == before_) return;
    ++faults_;
    if (faults_ > kReportedFaults) return;
    std::string differences;
    for (const auto& [name, content] : before_)
      if (!now.contains(name) || now.at(name) != content) differences += " " + name;
    for (const auto& [name, content] : now)
      if (!before_.contains(name)) differences += " +" + name;
    ADD_FAILURE() << "run " << run << " (seed " << seed << ", kill after " << delay.count()
                  << " us): differs in" << differences;
  }

  // Kills installs and undos at random moments; an undo run to its end after each leaves the
  // folder as it was.
  void RunSeries();

  static constexpr int kMembers = 1000;
  static constexpr int kExisting = 50;
  std::map<std::string, std::string> before_;
  int faults_ = 0;
};

TEST_F(KillUndoTest, AKilledInstallOrUndoIsUndoneToTheFolderAsItWas) { RunSeries(); }

// The same with the data folder on another file system than the game, as %LOCALAPPDATA% on C:
// with the game on D:: originals are copied, not linked, and folders cannot be moved aside.
TEST_F(KillUndoTest, AKilledInstallOrUndoIsUndoneWithTheDataFolderOnAnotherFileSystem) {
  const fs::path data = fs::path("/dev/shm") / ("ovix-kill-data-" + std::to_string(getpid()));
  struct stat game {
  }, other{};
  ASSERT_EQ(stat(box.Local(kGameDir).c_str(), &game), 0);
  ASSERT_EQ(stat("/dev/shm", &other), 0);
  ASSERT_NE(game.st_dev, other.st_dev) << "/dev/shm is on the game's file system here";
  ScopedEnvironment dataFolder("OVIX_DATA_DIR");
  dataFolder.Set(data.string());
  RunSeries();
  std::error_code ignored;
  fs::remove_all(data, ignored);
}

void KillUndoTest::RunSeries() {
  const std::optional<Clock::duration> oneInstall = RunToEnd();
  ASSERT_TRUE(oneInstall);
  ASSERT_NE(test::SnapshotTree(box.Local(kGameDir)), before_);
  const std::optional<Clock::duration> oneUndo = UndoToEnd(-1);
  ASSERT_TRUE(oneUndo);
  ASSERT_EQ(test::SnapshotTree(box.Local(kGameDir)), before_);

  KillDelays installDelays("install kills");
  int installRunning = 0, installMidway = 0;
  for (int run = 0; run < kKills; ++run) {
    const auto delay = installDelays.Next(*oneInstall);
    if (RunAndKill(delay)) ++installRunning;
    if (Unfinished()) ++installMidway;
    UndoToEnd(run);
    ExpectAsBefore(run, installDelays.Seed(), delay);
  }
  KillDelays undoDelays("undo kills");
  int undoRunning = 0, undoMidway = 0;
  for (int run = 0; run < kKills; ++run) {
    if (!RunToEnd()) break;
    const auto delay = undoDelays.Next(*oneUndo);
    if (UndoAndKill(delay)) ++undoRunning;
    if (Unfinished()) ++undoMidway;
    UndoToEnd(run);
    ExpectAsBefore(run, undoDelays.Seed(), delay);
  }
  std::printf("data folder: %s\n", UserDataFolder().value().c_str());
  std::printf(
      "kills during an install: %d, landed while running: %d, left a journal to finish: %d; "
      "during an undo: %d, landed while running: %d, cut the undo off: %d; folders not as "
      "before: %d (one install %lld ms, one undo %lld ms)\n",
      kKills, installRunning, installMidway, kKills, undoRunning, undoMidway, faults_,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*oneInstall).count()),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*oneUndo).count()));
  EXPECT_EQ(faults_, 0);
  EXPECT_GT(installMidway, 0);
  EXPECT_GT(undoMidway, 0);
}

}  // namespace
}  // namespace ovix
