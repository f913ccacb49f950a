#include <stdlib.h>

#include <cstdio>
#include <system_error>

#include "os/files.h"
#include "os/windows_path.h"

namespace ovix {

namespace fs = std::filesystem;

std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath) {
  return ResolveWindowsPath(windowsPath);
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool FileExists(std::string_view path) {
  const auto local = LocalPath(path);
  std::error_code error;
  return local && fs::exists(*local, error) && !fs::is_directory(*local, error);
}

bool DirectoryExists(std::string_view path) {
  const auto local = LocalPath(path);
  std::error_code error;
  return local && fs::is_directory(*local, error);
}

std::optional<std::filesystem::path> UserDataFolder() {
  if (const char* own = getenv("OVIX_DATA_DIR"); own != nullptr && *own != '\0') return own;
  if (const char* data = getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return std::filesystem::path(data) / "ovix-updater";
  }
  const std::string home = HomeFolder();
  if (home.empty()) return std::nullopt;
  return std::filesystem::path(home) / ".local" / "share" / "ovix-updater";
}

}  // namespace ovix
