#include <filesystem>

#include "os/files.h"
#include "script/file_actions.h"

namespace ovix {
namespace fs = std::filesystem;

TActionProblem CopyFileIfExists(std::string_view source, std::string_view destination) {
  if (!FileExists(source)) return "the file to copy does not exist";
  const auto from = LocalPath(source);
  const auto to = LocalPath(destination);
  if (!from || !to) return "the destination is no valid path";
  RemoveStalePartialFilesOnce(to->parent_path());
  const fs::path partial = PartialFileBeside(*to);
  std::error_code error;
  if (fs::copy_file(*from, partial, fs::copy_options::overwrite_existing, error) &&
      MoveReplacing(partial, *to)) {
    NoteFileMade(*to);
    return std::nullopt;
  }
  fs::remove(partial, error);
  return "the copy cannot be written there";
}

TActionProblem RemoveFile(std::string_view path) {
  const auto local = LocalPath(path);
  if (!local) return std::nullopt;
  std::error_code error;
  // A link goes, whatever it points at; a real directory stays.
  const bool link = fs::is_symlink(*local, error);
  if (!link && fs::is_directory(*local, error)) return "this is a folder, which DELETE keeps";
  if (!link && !fs::exists(*local, error)) return std::nullopt;
  if (fs::remove(*local, error)) return std::nullopt;
  return "the file cannot be deleted";
}

bool RemoveDirectoryTree(std::string_view directory) {
  const auto local = LocalPath(directory);
  std::error_code error;
  if (!local || !fs::exists(*local, error)) return false;
  fs::remove_all(*local, error);
  return !error;
}

}  // namespace ovix
