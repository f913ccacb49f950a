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

}  // namespace ovix
