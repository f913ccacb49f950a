#pragma once
// A throw-away Wine prefix for tests of the POSIX resolver of Windows paths: a temporary
// folder with dosdevices/c: -> ../drive_c, made the current prefix through WINEPREFIX for the
// fixture's lifetime. More drives are linked on demand.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "support/scoped_environment.h"

namespace ovix {

class ScratchWinePrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovix-prefix-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    // Canonical, so expected results compare equal to the resolver's canonical drive roots.
    prefix_ = std::filesystem::canonical(pattern);
    std::filesystem::create_directories(prefix_ / "dosdevices");
    std::filesystem::create_directories(prefix_ / "drive_c");
    MapDrive('c', "../drive_c");
    winePrefix_.Set(prefix_.string());
  }

  void TearDown() override {
    // remove_all removes links without following them, so a z: -> / entry is safe here.
    std::error_code ignored;
    if (!prefix_.empty()) std::filesystem::remove_all(prefix_, ignored);
  }

  const std::filesystem::path& Prefix() const { return prefix_; }
  std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }

  // Links dosdevices/<letter>: to `target` (relative targets are relative to dosdevices).
  void MapDrive(char letter, const std::filesystem::path& target) {
    std::filesystem::create_directory_symlink(target,
                                              prefix_ / "dosdevices" / std::string{letter, ':'});
  }

  std::filesystem::path MakeFolder(const std::filesystem::path& path) {
    std::filesystem::create_directories(path);
    return path;
  }

  std::filesystem::path MakeFile(const std::filesystem::path& path,
                                 const std::string& content = "text") {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

 private:
  ScopedEnvironment winePrefix_{"WINEPREFIX"};
  std::filesystem::path prefix_;
};

}  // namespace ovix
