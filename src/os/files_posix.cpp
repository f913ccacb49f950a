#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

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

bool SyncToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool SyncFileAt(const std::filesystem::path& path) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  const bool synced = fsync(file) == 0;
  close(file);
  return synced;
}

void NoteFileMade(const std::filesystem::path& file) { NoteEntryMade(file); }

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
