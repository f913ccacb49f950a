#include <filesystem>

#include "os/files.h"
#include "script/file_actions.h"

namespace ovix {
namespace fs = std::filesystem;

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

void CopyFileIfExists(std::string_view source, std::string_view destination) {
  if (!FileExists(source)) return;
  const auto from = LocalPath(source);
  const auto to = LocalPath(destination);
  if (!from || !to) return;
  std::error_code ignored;
  fs::copy_file(*from, *to, fs::copy_options::overwrite_existing, ignored);
}

void RemoveFile(std::string_view path) {
  const auto local = LocalPath(path);
  if (!local) return;
  std::error_code error;
  // A link goes, whatever it points at; a real directory stays.
  if (!fs::is_symlink(*local, error) && fs::is_directory(*local, error)) return;
  fs::remove(*local, error);
}

bool DeleteDirectoryTree(std::string_view directory) {
  const auto local = LocalPath(directory);
  std::error_code error;
  if (!local || !fs::exists(*local, error)) return false;
  fs::remove_all(*local, error);
  return !error;
}

}  // namespace ovix
