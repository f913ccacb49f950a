#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>

#include "os/folders.h"
#include "os/windows_path.h"

namespace ovix {

namespace fs = std::filesystem;

std::string GetLongPath(std::string_view path) {
  // There are no 8.3 names here: an existing path is already in long form.
  const std::optional<fs::path> resolved = ResolveWindowsPath(path);
  std::error_code error;
  if (!resolved || !fs::exists(*resolved, error)) return {};
  return std::string(path);
}

namespace {

// A real folder (no link) of this user's that no other account may write to, so nobody else
// can put a file under a name this program is about to use.
bool IsOwnFolder(const fs::path& folder, bool othersMayRead) {
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    return false;
  }
  const mode_t forbidden = othersMayRead ? (S_IWGRP | S_IWOTH) : (S_IRWXG | S_IRWXO);
  return (info.st_mode & forbidden) == 0;
}

// The temporary folder to use in `base`: `base` itself when it is the user's own (a Wine
// prefix's Temp, a private TMPDIR), else a folder of the user's alone inside it, as in the
// shared /tmp: "ovix-updater-<uid>", made with mode 0700, or a fresh one when another account
// has taken that name. Empty when none can be made.
fs::path PrivateTemporaryFolder(const fs::path& base) {
  if (IsOwnFolder(base, true)) return base;
  const fs::path own = base / ("ovix-updater-" + std::to_string(geteuid()));
  mkdir(own.c_str(), 0700);
  if (IsOwnFolder(own, false)) return own;
  std::string pattern = own.string() + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

fs::path LocalTemporaryFolder() {
  const char* tmp = getenv("TMPDIR");
  std::error_code error;
  const fs::path base = fs::weakly_canonical(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", error);
  if (error || !fs::is_directory(base, error)) return {};
  // Once per base folder and process: a fresh folder must not be made again for each use.
  static std::mutex mutex;
  static std::map<fs::path, fs::path> chosen;
  std::lock_guard lock(mutex);
  auto [it, added] = chosen.try_emplace(base);
  if (added || !IsOwnFolder(it->second, true)) it->second = PrivateTemporaryFolder(base);
  return it->second;
}

std::string GetTempDirectory() {
  const fs::path folder = LocalTemporaryFolder();
  if (folder.empty()) return {};
  std::string windowsFolder = ToWindowsPath(folder);
  if (!windowsFolder.empty() && windowsFolder.back() == '\\') windowsFolder.pop_back();  // a root
  return GetLongPath(windowsFolder);
}

bool IsDriveReady(std::string_view drive) {
  if (drive.empty()) return false;
  const std::optional<fs::path> root = DriveRoot(drive.front());
  if (!root) return false;
  DIR* listing = opendir(root->c_str());
  if (listing == nullptr) return false;
  closedir(listing);
  return true;
}

std::string GetCurrentDirectoryPath() {
  std::error_code error;
  const fs::path current = fs::current_path(error);
  return error ? std::string() : ToWindowsPath(current);
}

std::vector<std::string> LogicalDriveRoots() {
  std::vector<std::string> roots;
  for (const char letter : DriveLetters()) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

}  // namespace ovix
