#pragma once
// Home folders laid out as Linux game launchers leave them, in a throw-away folder that also
// stands for the other disks (posix). HOME points at the home for the fixture's life, WINEPREFIX
// is unset, and the prefix chosen by a test is dropped afterwards.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "os/windows_path.h"
#include "support/scoped_environment.h"

namespace ovix::test {

class ClientHomes {
 public:
  // `exeDir` holds the version-carrying test executables.
  explicit ClientHomes(std::filesystem::path exeDir) : exeDir_(std::move(exeDir)) {
    root_ = std::filesystem::temp_directory_path() /
            ("ovix-homes-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(root_ / "home");
    home_.Set(Home().string());
    prefix_.Unset();
  }
  ~ClientHomes() {
    UseEnvironmentWinePrefix();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ClientHomes(const ClientHomes&) = delete;
  ClientHomes& operator=(const ClientHomes&) = delete;

  std::filesystem::path Home() const { return root_ / "home"; }
  // Outside the home: a second disk.
  std::filesystem::path Disk() const { return root_ / "disk"; }

  // A client in `folder`: a copy of the test executable `exe` named `name`.
  void Client(const std::filesystem::path& folder, const std::string& exe = "version_1_10_2_7.exe",
              const std::string& name = "WorldOfTanks.exe") const {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(exeDir_ / exe, folder / name);
  }
  // A prefix; a started one has Wine's drive table (C: its drive_c, Z: the root).
  void Prefix(const std::filesystem::path& folder, bool started = true) const {
    std::filesystem::create_directories(folder / "drive_c" / "users");
    if (!started) return;
    std::filesystem::create_directories(folder / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", folder / "dosdevices" / "c:");
    std::filesystem::create_directory_symlink("/", folder / "dosdevices" / "z:");
  }
  static void Write(const std::filesystem::path& file, std::string_view text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  // The Windows form of a folder reached through Z:.
  static std::string OnDriveZ(const std::filesystem::path& folder) {
    std::string path = "Z:" + std::filesystem::canonical(folder).string();
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }

 private:
  std::filesystem::path exeDir_;
  std::filesystem::path root_;
  ScopedEnvironment home_{"HOME"};
  ScopedEnvironment prefix_{"WINEPREFIX"};
};

}  // namespace ovix::test
