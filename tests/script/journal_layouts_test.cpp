// Undo against the layouts real game folders have (posix): the data folder on another file
// system than the game, a link in the game folder's path, copies cut short by a full disk,
// leftovers of kills, files the player made since, and journals that cannot be believed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <functional>

#include "archive_builders.h"
#include "script/install_journal.h"
#include "script/unpack.h"
#include "support/sandbox.h"
#include "support/tree_snapshot.h"

// Counts the syncs the code under test makes (linked with --wrap=fsync).
extern "C" int __real_fsync(int file);
std::atomic<int> gSyncs{0};
extern "C" int __wrap_fsync(int file) {
  ++gSyncs;
  return __real_fsync(file);
}

namespace ovix {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// Writes fail beyond `bytes` while it lives, as on a file system about to be full.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
};

// A folder on another file system than the sandbox's: /dev/shm (tmpfs) against the disk, or the
// build's own folder where the sandbox is on tmpfs.
fs::path OtherFileSystemFolder(const fs::path& than) {
  struct stat sandbox {};
  stat(than.c_str(), &sandbox);
  for (const fs::path& base : {fs::path("/dev/shm"), fs::path(OVIX_TEST_BUILD_DIR)}) {
    struct stat other {};
    if (stat(base.c_str(), &other) == 0 && other.st_dev != sandbox.st_dev) {
      return base / ("ovix-journal-data-" + std::to_string(getpid()));
    }
  }
  ADD_FAILURE() << "no file system other than that of " << than;
  return than / "data-elsewhere";
}

// One layout: a game folder with a client and a few mod files, and the data folder.
struct TPlace {
  explicit TPlace(bool otherVolume) {
    for (const auto& [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Game/worldoftanks.exe", "client"},
             {"Game/res_mods/a.txt", "old a"},
             {"Game/res_mods/doomed.txt", "doomed"},
             {"Game/res_mods/tree/one.txt", "one"},
             {"Game/res_mods/tree/deep/two.txt", "two"},
             {"Other/keep.txt", "other game"}}) {
      Write(work / name, text);
    }
    Write(mods / "big.bin", std::string(600'000, 'b'));
    Write(mods / "tree" / "big.bin", std::string(600'000, 't'));
    data = otherVolume ? OtherFileSystemFolder(work) : box.Root() / "data";
  }
  ~TPlace() {
    std::error_code ignored;
    fs::remove_all(data, ignored);
  }
  std::unique_ptr<TInstallJournal> Begin(const fs::path& folder) const {
    std::string error;
    auto journal = TInstallJournal::Begin(data, folder, error);
    EXPECT_TRUE(journal) << error;
    return journal;
  }
  std::map<std::string, std::string> Tree() const { return test::SnapshotTree(work); }
  // Each file's modification time, which an undo puts back with its contents.
  std::map<fs::path, fs::file_time_type> Times() const {
    std::map<fs::path, fs::file_time_type> times;
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
      if (entry.is_regular_file()) times[entry.path()] = entry.last_write_time();
    }
    return times;
  }
  // Appends a line to the newest journal, as damage would.
  void AppendToJournal(const std::string& line) const {
    std::ofstream(NewestJournal() / "journal", std::ios::binary | std::ios::app) << line;
  }
  fs::path NewestJournal() const {
    fs::path newest;
    for (const auto& entry : fs::directory_iterator(data / "installs")) {
      if (entry.is_directory() && entry.path().filename().string().find('.') == std::string::npos)
        newest = std::max(newest, entry.path());
    }
    return newest;
  }

  test::Sandbox box;
  const fs::path work = box.Local(box.Dir());
  const fs::path game = work / "Game";
  const fs::path mods = game / "res_mods";
  fs::path data;
};

// Writes a file as the script's commands do: beside it, then moved over it.
void Replace(TInstallJournal& journal, const fs::path& file, const std::string& text) {
  ASSERT_TRUE(journal.BeforeWrite(file));
  Write(file.string() + ".part", text);
  fs::rename(file.string() + ".part", file);
  journal.Written(file);
}

struct TLayout {
  std::string name;
  bool otherVolume = false;
  // The install, with its journal, into the game folder (or the name it goes by).
  std::function<void(TPlace&, TInstallJournal&)> install;
  // What the player, or a fault, did afterwards; and the undo's expected end.
  std::function<void(TPlace&)> afterwards = [](TPlace&) {};
  TUndoResult result = TUndoResult::Undone;
  // Beyond the folder as it was before the install, by path below the work folder.
  std::map<std::string, std::string> kept;
  bool ended = true;
};

TEST(JournalLayoutTest, EachLayoutIsUndoneToTheFolderAsItWasOrRefusedUntouched) {
  const auto cutShort = [](auto change) {
    const FileSizeLimit limit(401'408);
    return change();
  };
  const std::vector<TLayout> layouts = {
      {"a copy of an original cut short on another volume keeps nothing", true,
       [&](TPlace& p, TInstallJournal& j) {
         EXPECT_FALSE(cutShort([&] { return j.BeforeWrite(p.mods / "big.bin"); }));
       }},
      {"a DELETEDIR cut short on another volume deletes nothing", true,
       [&](TPlace& p, TInstallJournal& j) {
         EXPECT_FALSE(cutShort([&] { return j.RemoveTree(p.mods / "tree"); }));
       }},
      {"a DELETEDIR on another volume killed while it deleted",
       true,
       [](TPlace& p, TInstallJournal& j) {
         EXPECT_TRUE(j.RemoveTree(p.mods / "tree"));
         // What a process killed while it deleted the folder set aside leaves.
         Write(p.mods / "tree.ovix-999999999-1.incomplete" / "deep" / "two.txt", "two");
       },
       [](TPlace&) {},
       TUndoResult::Undone,
       {},
       false},
      {"an install killed in the middle of a line",
       false,
       [](TPlace& p, TInstallJournal& j) { Replace(j, p.mods / "a.txt", "new a"); },
       [](TPlace& p) { p.AppendToJournal("S\t12:3"); },
       TUndoResult::Undone,
       {},
       false},
      {"a link in the game folder's own path", false,
       [](TPlace& p, TInstallJournal& j) {
         Replace(j, p.work / "Link" / "res_mods" / "a.txt", "new a");
         EXPECT_TRUE(j.Changed());
       }},
      {"files written into a folder the install then deleted", false,
       [](TPlace& p, TInstallJournal& j) {
         Replace(j, p.mods / "tree" / "one.txt", "new one");
         Replace(j, p.mods / "tree" / "added.txt", "added");
         EXPECT_TRUE(j.RemoveTree(p.mods / "tree"));
       }},
      {"a write onto a folder", false,
       [](TPlace& p, TInstallJournal& j) { EXPECT_TRUE(j.BeforeWrite(p.mods / "tree")); }},
      {"a created file whose write failed, made by the player since",
       false,
       [](TPlace& p, TInstallJournal& j) { EXPECT_TRUE(j.BeforeWrite(p.mods / "new.txt")); },
       [](TPlace& p) { Write(p.mods / "new.txt", "the player's"); },
       TUndoResult::Undone,
       {{"Game/res_mods/new.txt", "fthe player's"}}},
      {"a deleted file made again by the player since",
       false,
       [](TPlace& p, TInstallJournal& j) {
         ASSERT_TRUE(j.BeforeDelete(p.mods / "doomed.txt"));
         fs::remove(p.mods / "doomed.txt");
       },
       [](TPlace& p) { Write(p.mods / "doomed.txt", "the player's"); },
       TUndoResult::Refused,
       {{"Game/res_mods/doomed.txt", "fthe player's"}}},
      {"a kept original gone missing",
       false,
       [](TPlace& p, TInstallJournal& j) { Replace(j, p.mods / "a.txt", "new a"); },
       [](TPlace& p) { fs::remove(p.NewestJournal() / "files" / "0"); },
       TUndoResult::Incomplete,
       {{"Game/res_mods/a.txt", "fnew a"}}},
  };
  for (const TLayout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    TPlace place(layout.otherVolume);
    fs::create_directory_symlink(place.game, place.work / "Link");
    const auto before = place.Tree();
    const auto times = place.Times();
    const fs::path game =
        layout.name.find("link") != std::string::npos ? place.work / "Link" : place.game;
    {
      auto journal = place.Begin(game);
      layout.install(place, *journal);
      if (layout.ended) journal->End(false);
    }
    layout.afterwards(place);
    const TUndoReport report = UndoLastInstall(place.data, game, false);
    EXPECT_EQ(report.result, layout.result);
    for (const TUndoFailure& failure : report.failed) {
      EXPECT_FALSE(failure.reason.empty()) << failure.path;
    }
    auto expected = before;
    for (const auto& [path, entry] : layout.kept) expected[path] = entry;
    EXPECT_EQ(place.Tree(), expected);
    if (layout.kept.empty() && layout.result == TUndoResult::Undone) {
      EXPECT_EQ(place.Times(), times);
    }
    // An undo that could not do every step keeps its journal and the originals.
    EXPECT_EQ(fs::exists(report.journal), layout.result != TUndoResult::Undone);
    if (layout.result == TUndoResult::Refused) {
      const TUndoReport forced = UndoLastInstall(place.data, game, true);
      EXPECT_EQ(forced.result, TUndoResult::Undone);
      EXPECT_EQ(place.Tree(), before);
      ASSERT_FALSE(forced.keptAside.empty());
      EXPECT_EQ(test::SnapshotTree(forced.keptAside).size(), 1u);
    }
  }
}

// A journal that cannot be believed is never fatal, never acted on, and set aside with what it
// keeps; the start-up search and Begin read past it.
TEST(JournalLayoutTest, ADamagedJournalIsSetAsideAndNothingIsTouched) {
  for (const auto& [what, line] : std::initializer_list<std::pair<const char*, std::string>>{
           {"an undo step whose number is not digits", "U\tseven\n"},
           {"a line of no kind", "garbage\n"},
           {"a line naming an original the journal never kept", "W\t99\t@GAME@/res_mods/x\n"},
           {"an entry outside the game folder", "W\t-\t@WORK@/Other/keep.txt\n"}}) {
    SCOPED_TRACE(what);
    TPlace place(false);
    {
      auto journal = place.Begin(place.game);
      Replace(*journal, place.mods / "a.txt", "new a");
    }
    std::string damage = line;
    for (const auto& [mark, path] : {std::pair{"@GAME@", place.game}, {"@WORK@", place.work}}) {
      if (const auto at = damage.find(mark); at != std::string::npos)
        damage.replace(at, std::string(mark).size(), path.string());
    }
    place.AppendToJournal(damage);
    const fs::path journal = place.NewestJournal();
    // A folder name past any number a journal would take.
    fs::create_directories(place.data / "installs" / "99999999999999999999999");
    const auto before = place.Tree();
    EXPECT_FALSE(HasUnfinishedJournal(place.data, place.game));
    const TUndoReport report = UndoLastInstall(place.data, place.game, false);
    EXPECT_EQ(report.result, TUndoResult::Damaged);
    EXPECT_GE(report.damage.size(), 2u);
    EXPECT_EQ(place.Tree(), before);
    EXPECT_FALSE(fs::exists(journal));
    fs::path aside = journal;
    aside += ".damaged";
    EXPECT_TRUE(fs::exists(aside / "files" / "0"));
    EXPECT_EQ(UndoLastInstall(place.data, place.game, false).result, TUndoResult::NothingToUndo);
    EXPECT_TRUE(place.Begin(place.game));
  }
  // Found by the start-up search instead, it is set aside there.
  TPlace place(false);
  { place.Begin(place.game); }
  place.AppendToJournal("garbage\n");
  const std::vector<TSetAsideJournal> setAside = SetAsideDamagedJournals(place.data, place.game);
  ASSERT_EQ(setAside.size(), 1u);
  EXPECT_EQ(setAside[0].folder.extension(), ".damaged");
  EXPECT_TRUE(SetAsideDamagedJournals(place.data, place.game).empty());
}

// One install or undo of a game folder at a time, by whatever name it is reached.
TEST(JournalLayoutTest, AGameFolderIsHeldByOneAtATime) {
  TPlace place(false);
  fs::create_directory_symlink(place.game, place.work / "Link");
  bool busy = false;
  std::optional<TFileLock> first = LockGameFolder(place.data, place.game, busy);
  ASSERT_TRUE(first);
  EXPECT_FALSE(busy);
  EXPECT_FALSE(LockGameFolder(place.data, place.work / "Link", busy));
  EXPECT_TRUE(busy);
  EXPECT_TRUE(LockGameFolder(place.data, place.work / "Other", busy));
  first.reset();
  EXPECT_TRUE(LockGameFolder(place.data, place.work / "Link", busy));
}

// A change's line is on the disk before the change; an UNPACK syncs once a batch, not once a
// member.
TEST(JournalLayoutTest, LinesReachTheDiskBeforeTheirChanges) {
  TPlace place(false);
  auto journal = place.Begin(place.game);
  const int atStart = gSyncs;
  ASSERT_TRUE(journal->BeforeWrite(place.mods / "a.txt"));
  EXPECT_EQ(gSyncs, atStart + 1);
  std::vector<test::TEntry> members;
  for (int i = 0; i < 600; ++i) members.push_back({"m/" + std::to_string(i) + ".txt", "x"});
  test::WriteZip(place.work / "many.zip", members);
  const int beforeUnpack = gSyncs;
  EXPECT_EQ(UnpackArchive("C:\\work\\many.zip", "C:\\work\\Game\\res_mods", {}, {}, journal.get()),
            600u);
  EXPECT_GE(gSyncs - beforeUnpack, 3);
  EXPECT_LE(gSyncs - beforeUnpack, 5);
}

}  // namespace
}  // namespace ovix
