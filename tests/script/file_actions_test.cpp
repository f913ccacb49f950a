// The script's file actions on real files, through Windows paths.

#include "script/file_actions.h"

#include <gtest/gtest.h>

#include <fstream>

#include "os/files.h"
#include "support/sandbox.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using test::Sandbox;

class FileActionsTest : public ::testing::Test {
 protected:
  std::string P(const std::string& relative) const { return box.Dir() + "\\" + relative; }
  fs::path L(const std::string& relative) const { return box.Local(P(relative)); }
  void Write(const std::string& relative, const std::string& text) const {
    fs::create_directories(L(relative).parent_path());
    std::ofstream(L(relative), std::ios::binary) << text;
  }
  std::string Read(const std::string& relative) const {
    return ReadWholeFile(L(relative)).value_or("<missing>");
  }
  Sandbox box;
};

TEST_F(FileActionsTest, ExistenceTestsTellFilesFromDirectories) {
  Write("res_mods\\config.xml", "x");
  EXPECT_TRUE(FileExists(P("res_mods\\config.xml")));
  EXPECT_FALSE(FileExists(P("res_mods")));
  EXPECT_FALSE(FileExists(P("missing.xml")));
  EXPECT_TRUE(DirectoryExists(P("res_mods")));
  EXPECT_TRUE(DirectoryExists(P("res_mods\\")));
  EXPECT_FALSE(DirectoryExists(P("res_mods\\config.xml")));
  EXPECT_FALSE(DirectoryExists(P("nothing")));
}

TEST_F(FileActionsTest, CopyReplacesAnExistingFileAndIgnoresWhatItCannotDo) {
  Write("a.txt", "new");
  Write("b.txt", "old");
  CopyFileIfExists(P("a.txt"), P("b.txt"));
  EXPECT_EQ(Read("b.txt"), "new");
  CopyFileIfExists(P("missing.txt"), P("b.txt"));
  EXPECT_EQ(Read("b.txt"), "new");
  // No folder is made for the destination.
  CopyFileIfExists(P("a.txt"), P("nofolder\\c.txt"));
  EXPECT_FALSE(fs::exists(L("nofolder")));
  // A directory is no file to copy.
  fs::create_directories(L("dir"));
  CopyFileIfExists(P("dir"), P("d.txt"));
  EXPECT_FALSE(fs::exists(L("d.txt")));
}

TEST_F(FileActionsTest, DeleteRemovesFilesButNeverDirectories) {
  Write("a.txt", "x");
  Write("dir\\inner.txt", "y");
  RemoveFile(P("a.txt"));
  EXPECT_FALSE(fs::exists(L("a.txt")));
  RemoveFile(P("a.txt"));  // already gone: nothing happens
  RemoveFile(P("dir"));
  EXPECT_EQ(Read("dir\\inner.txt"), "y");
}

#ifndef _WIN32
TEST_F(FileActionsTest, DeleteRemovesALinkToADirectoryButNotItsTarget) {
  Write("target\\kept.txt", "k");
  fs::create_directory_symlink(L("target"), L("link"));
  EXPECT_TRUE(DirectoryExists(P("link")));
  RemoveFile(P("link"));
  EXPECT_FALSE(fs::is_symlink(L("link")));
  EXPECT_EQ(Read("target\\kept.txt"), "k");
}
#endif

TEST_F(FileActionsTest, DeleteDirectoryTreeRemovesEverythingBelow) {
  Write("old_mods\\0.9.1\\a\\b.txt", "x");
  Write("old_mods\\top.txt", "y");
  Write("keep.txt", "z");
  EXPECT_TRUE(DirectoryExists(P("old_mods\\")));
  EXPECT_TRUE(DeleteDirectoryTree(P("old_mods\\")));
  EXPECT_FALSE(fs::exists(L("old_mods")));
  EXPECT_EQ(Read("keep.txt"), "z");
  EXPECT_FALSE(DeleteDirectoryTree(P("old_mods\\")));
}

}  // namespace
}  // namespace ovix
