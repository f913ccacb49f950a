// The script's file actions on real files, through Windows paths.

#include "script/file_actions.h"

#include <gtest/gtest.h>

#include <fstream>

#include "os/files.h"
#include "support/sandbox.h"

#ifdef _WIN32
#include "os/windows_api.h"
#endif

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

TEST_F(FileActionsTest, CopyReplacesAnExistingFileAndTellsWhatItCannotDo) {
  Write("a.txt", "new");
  Write("b.txt", "old");
  EXPECT_EQ(CopyFileIfExists(P("a.txt"), P("b.txt")), std::nullopt);
  EXPECT_EQ(Read("b.txt"), "new");
  EXPECT_EQ(CopyFileIfExists(P("missing.txt"), P("b.txt")), "the file to copy does not exist");
  EXPECT_EQ(Read("b.txt"), "new");
  // No folder is made for the destination.
  EXPECT_EQ(CopyFileIfExists(P("a.txt"), P("nofolder\\c.txt")), "the copy cannot be written there");
  EXPECT_FALSE(fs::exists(L("nofolder")));
  // A directory is no file to copy, nor one to copy over.
  fs::create_directories(L("dir\\inner"));
  EXPECT_EQ(CopyFileIfExists(P("dir"), P("d.txt")), "the file to copy does not exist");
  EXPECT_FALSE(fs::exists(L("d.txt")));
  EXPECT_EQ(CopyFileIfExists(P("a.txt"), P("dir")), "the copy cannot be written there");
  // Nothing is left beside the destinations.
  EXPECT_EQ(box.FilesIn(box.Dir()), "a.txt;b.txt;dir;");
  EXPECT_EQ(box.FilesIn(P("dir")), "inner;");
}

TEST_F(FileActionsTest, DeleteRemovesFilesButNeverDirectories) {
  Write("a.txt", "x");
  Write("dir\\inner.txt", "y");
  EXPECT_EQ(RemoveFile(P("a.txt")), std::nullopt);
  EXPECT_FALSE(fs::exists(L("a.txt")));
  EXPECT_EQ(RemoveFile(P("a.txt")), std::nullopt);  // already gone: nothing happens
  EXPECT_EQ(RemoveFile(P("dir")), "this is a folder, which DELETE keeps");
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

// A link describes itself to some calls; the tests must see what it leads to.
TEST_F(FileActionsTest, ExistenceTestsFollowLinks) {
  Write("real.txt", "x");
  fs::create_directories(L("realdir"));
  const auto link = [&](const std::string& target, const std::string& name, bool directory) {
#ifdef _WIN32
    const DWORD flags = (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    CreateSymbolicLinkW(L(name).c_str(), L(target).c_str(), flags);
#else
    std::error_code ignored;
    if (directory) {
      fs::create_directory_symlink(L(target), L(name), ignored);
    } else {
      fs::create_symlink(L(target), L(name), ignored);
    }
#endif
    std::error_code error;
    return fs::is_symlink(L(name), error);
  };
  // Wine 8 answers the call for a link with success and makes none.
  if (!link("real.txt", "file-link", false) || !link("gone.txt", "dangling", false) ||
      !link("realdir", "dir-link", true)) {
    GTEST_SKIP() << "this system makes no symbolic links";
  }
  EXPECT_TRUE(FileExists(P("file-link")));
  EXPECT_FALSE(DirectoryExists(P("file-link")));
  EXPECT_FALSE(FileExists(P("dangling")));
  EXPECT_FALSE(DirectoryExists(P("dangling")));
  EXPECT_TRUE(DirectoryExists(P("dir-link")));
  EXPECT_FALSE(FileExists(P("dir-link")));
}

TEST_F(FileActionsTest, DeleteDirectoryTreeRemovesEverythingBelow) {
  Write("old_mods\\0.9.1\\a\\b.txt", "x");
  Write("old_mods\\top.txt", "y");
  Write("keep.txt", "z");
  EXPECT_TRUE(DirectoryExists(P("old_mods\\")));
  EXPECT_TRUE(RemoveDirectoryTree(P("old_mods\\")));
  EXPECT_FALSE(fs::exists(L("old_mods")));
  EXPECT_EQ(Read("keep.txt"), "z");
  EXPECT_FALSE(RemoveDirectoryTree(P("old_mods\\")));
}

}  // namespace
}  // namespace ovix
