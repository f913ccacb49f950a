#include <dirent.h>
#include <stdlib.h>

#include <filesystem>
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

std::string GetTempDirectory() {
  const char* tmp = getenv("TMPDIR");
  std::string folder = ToWindowsPath(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();  // a drive root
  return GetLongPath(folder);
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
