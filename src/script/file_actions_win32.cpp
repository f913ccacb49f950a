#include <filesystem>
#include <string>

#include "os/files.h"
#include "os/text.h"
#include "os/windows_api.h"
#include "script/file_actions.h"

namespace ovix {
TActionProblem CopyFileIfExists(std::string_view source, std::string_view destination) {
  if (!FileExists(source)) return "the file to copy does not exist";
  const std::filesystem::path to(Widen(destination));
  RemoveStalePartialFilesOnce(to.parent_path());
  const std::filesystem::path partial = PartialFileBeside(to);
  if (CopyFileW(Widen(source).c_str(), partial.c_str(), FALSE) && MoveReplacing(partial, to)) {
    return std::nullopt;
  }
  DeleteFileW(partial.c_str());
  return "the copy cannot be written there";
}

TActionProblem RemoveFile(std::string_view path) {
  const std::wstring wide = Widen(path);
  if (DeleteFileW(wide.c_str())) return std::nullopt;
  const DWORD error = GetLastError();
  // A link to a directory is removed as a directory entry; a real one is kept.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return "this is a folder, which DELETE keeps";
    if (RemoveDirectoryW(wide.c_str())) return std::nullopt;
    return "the link cannot be deleted";
  }
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  return "the file cannot be deleted";
}

bool RemoveDirectoryTree(std::string_view directory) {
  // A list of one entry: the path and two terminators.
  std::wstring from = Widen(directory);
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationW(&operation) == 0;
}

}  // namespace ovix
