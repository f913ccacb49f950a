// Installs undone from their journal: every kind of change put back, installs stepped back one
// at a time, and refusals that protect what the player changed since.

#include "script/install_journal.h"

#include <gtest/gtest.h>

#include <fstream>

#include "archive_builders.h"
#include "script/unpack.h"
#include "support/sandbox.h"
#include "support/tree_snapshot.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

class InstallJournalTest : public ::testing::Test {
 protected:
  InstallJournalTest() {
    for (const auto& [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Game/worldoftanks.exe", "client"},
             {"Game/res_mods/a.txt", "old a"},
             {"Game/res_mods/doomed.txt", "doomed"},
             {"Game/res_mods/tree/one.txt", "one"},
             {"Game/res_mods/tree/deep/two.txt", "two"},
             {"Other/keep.txt", "other game"}}) {
      Write(Work() / name, text);
    }
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  fs::path Work() const { return box.Local(box.Dir()); }
  fs::path Game() const { return Work() / "Game"; }
  fs::path Data() const { return box.Root() / "data"; }
  std::unique_ptr<TInstallJournal> Begin(const fs::path& game) const {
    std::string error;
    auto journal = TInstallJournal::Begin(Data(), game, error);
    EXPECT_TRUE(journal) << error;
    return journal;
  }
  // Writes a file as the script's commands do: beside it, then moved over it.
  static void Replace(TInstallJournal& journal, const fs::path& file, const std::string& text) {
    ASSERT_TRUE(journal.BeforeWrite(file));
    Write(file.string() + ".part", text);
    fs::rename(file.string() + ".part", file);
    journal.Written(file);
  }

  test::Sandbox box;
};

TEST_F(InstallJournalTest, UnpackDeleteAndDeletedirAreAllPutBack) {
  const fs::path archive = Work() / "mod.zip";
  test::WriteZip(archive, {{"a.txt", "new a"}, {"new/", ""}, {"new/b.txt", "b"}, {"c.txt", "c"}});
  // On Windows the data folder lies in the work folder; it is not the game's.
  const auto before = test::SnapshotTree(Work(), {Data()});
  {
    auto journal = Begin(Game());
    UnpackArchive(box.Dir() + "\\mod.zip", box.Dir() + "\\Game\\res_mods", {}, {}, journal.get());
    ASSERT_TRUE(journal->BeforeDelete(Game() / "res_mods" / "doomed.txt"));
    fs::remove(Game() / "res_mods" / "doomed.txt");
    EXPECT_TRUE(journal->RemoveTree(Game() / "res_mods" / "tree"));
    EXPECT_FALSE(journal->RemoveTree(Game() / "res_mods" / "no-such-tree"));
    journal->End(true);
  }
  EXPECT_EQ(ReadWholeFile(Game() / "res_mods" / "a.txt"), "new a");
  EXPECT_FALSE(fs::exists(Game() / "res_mods" / "tree"));
  EXPECT_FALSE(HasUnfinishedJournal(Data(), Game()));

  const TUndoReport report = UndoLastInstall(Data(), Game(), false);
  EXPECT_EQ(report.result, TUndoResult::Undone);
  EXPECT_EQ(test::SnapshotTree(Work(), {Data()}), before);
  EXPECT_FALSE(fs::exists(report.journal));
  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::NothingToUndo);
}

TEST_F(InstallJournalTest, EachUndoStepsBackOneInstallAndOnlyTheLastThreeAreKept) {
  const fs::path a = Game() / "res_mods" / "a.txt";
  const fs::path added = Game() / "res_mods" / "added" / "x.txt";
  for (const char* version : {"v1", "v2", "v3", "v4"}) {
    auto journal = Begin(Game());
    Replace(*journal, a, version);
    ASSERT_TRUE(journal->BeforeCreateFolder(added.parent_path()));
    fs::create_directories(added.parent_path());
    Replace(*journal, added, version);
    journal->End(true);
  }
  // A journal of another game folder is neither counted nor touched.
  auto other = Begin(Work() / "Other");
  Replace(*other, Work() / "Other" / "keep.txt", "changed by its own install");
  other->End(true);

  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::Undone);
  EXPECT_EQ(ReadWholeFile(a), "v3");
  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::Undone);
  EXPECT_EQ(ReadWholeFile(a), "v2");
  EXPECT_EQ(ReadWholeFile(added), "v2");
  // The oldest of four went when the fourth began: v1 cannot come back.
  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::Undone);
  EXPECT_EQ(ReadWholeFile(a), "v1");
  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::NothingToUndo);
  EXPECT_EQ(ReadWholeFile(a), "v1");
  EXPECT_EQ(ReadWholeFile(Work() / "Other" / "keep.txt"), "changed by its own install");
}

TEST_F(InstallJournalTest, AFileChangedSinceStopsTheUndoUnlessForced) {
  const fs::path a = Game() / "res_mods" / "a.txt";
  {
    auto journal = Begin(Game());
    Replace(*journal, a, "installed");
    journal->End(true);
  }
  Write(a, "the player's own edit");
  const TUndoReport refused = UndoLastInstall(Data(), Game(), false);
  EXPECT_EQ(refused.result, TUndoResult::Refused);
  ASSERT_EQ(refused.changed.size(), 1u);
  EXPECT_EQ(refused.changed[0].filename(), "a.txt");
  EXPECT_EQ(ReadWholeFile(a), "the player's own edit");
  EXPECT_EQ(UndoLastInstall(Data(), Game(), true).result, TUndoResult::Undone);
  EXPECT_EQ(ReadWholeFile(a), "old a");
}

TEST_F(InstallJournalTest, AnInstallCutOffIsUndoneAsFarAsItGot) {
  const auto before = test::SnapshotTree(Game());
  {
    // Killed between recording a change and making it, and again after a change: no end.
    auto journal = Begin(Game());
    Replace(*journal, Game() / "res_mods" / "a.txt", "half");
    ASSERT_TRUE(journal->BeforeWrite(Game() / "res_mods" / "never-written.txt"));
    ASSERT_TRUE(journal->BeforeDelete(Game() / "res_mods" / "missing.txt"));
  }
  EXPECT_TRUE(HasUnfinishedJournal(Data(), Game()));
  EXPECT_EQ(UndoLastInstall(Data(), Game(), false).result, TUndoResult::Undone);
  EXPECT_EQ(test::SnapshotTree(Game()), before);
  EXPECT_FALSE(HasUnfinishedJournal(Data(), Game()));
}

}  // namespace
}  // namespace ovix
