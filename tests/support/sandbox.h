#pragma once
// A fresh folder known by its Windows path, removed afterwards. On posix it lives
// in a throw-away Wine-style prefix (WINEPREFIX points at it for the fixture's
// life) whose C: drive also holds the temporary directory (TMPDIR), and the program's
// data folder (OVIX_DATA_DIR) lies beside it.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "os/files.h"
#ifndef _WIN32
#include "support/scoped_environment.h"
#endif

namespace ovix::test {

namespace fs = std::filesystem;

class Sandbox {
 public:
  Sandbox() {
    root_ = fs::temp_directory_path() / ("ovix-sandbox-" + std::to_string(std::random_device{}()) +
                                         "-" + std::to_string(counter_++));
    fs::create_directories(root_);
#ifdef _WIN32
    windowsDir_ = root_.string();
#else
    fs::create_directories(root_ / "drive_c" / "tmp");
    fs::create_directories(root_ / "drive_c" / "work");
    fs::create_directories(root_ / "dosdevices");
    fs::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
    // An empty home: the search for clients in other prefixes finds none of this machine's.
    fs::create_directories(root_ / "home");
    Save("HOME", (root_ / "home").string());
    Save("WINEPREFIX", root_.string());
    Save("TMPDIR", (root_ / "drive_c" / "tmp").string());
    // Journals and the install log of this test alone: a log shared by every test reaches
    // its size limit at a moment no test can foresee, and moves on in the middle of one.
    Save("OVIX_DATA_DIR", (root_ / "data").string());
    windowsDir_ = "C:\\work";
#endif
  }
  ~Sandbox() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const std::string& Dir() const { return windowsDir_; }
  // The whole throw-away folder: on posix the prefix with its drives, on Windows Dir() itself.
  const fs::path& Root() const { return root_; }
  fs::path Local(const std::string& windowsPath) const { return LocalPath(windowsPath).value(); }
  // The entry names, sorted, each followed by ";".
  std::string FilesIn(const std::string& windowsDir) const {
    std::set<std::string> sorted;
    for (const auto& entry : fs::directory_iterator(Local(windowsDir)))
      sorted.insert(entry.path().filename().string());
    std::string names;
    for (const std::string& name : sorted) names += name + ";";
    return names;
  }

 private:
#ifndef _WIN32
  void Save(const std::string& name, const std::string& value) {
    saved_.push_back(std::make_unique<ScopedEnvironment>(name));
    saved_.back()->Set(value);
  }
  std::vector<std::unique_ptr<ScopedEnvironment>> saved_;
#endif
  static inline int counter_ = 0;
  fs::path root_;
  std::string windowsDir_;
};

}  // namespace ovix::test
