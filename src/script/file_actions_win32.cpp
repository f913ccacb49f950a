#include <string>

#include "os/text.h"
#include "os/windows_api.h"
#include "script/file_actions.h"

namespace ovix {
namespace {

DWORD Attributes(std::string_view path) { return GetFileAttributesW(Widen(path).c_str()); }

}  // namespace

bool FileExists(std::string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CopyFileIfExists(std::string_view source, std::string_view destination) {
  if (!FileExists(source)) return;
  CopyFileW(Widen(source).c_str(), Widen(destination).c_str(), FALSE);
}

void RemoveFile(std::string_view path) {
  const std::wstring wide = Widen(path);
  if (DeleteFileW(wide.c_str())) return;
  // A link to a directory is removed as a directory entry; a real one is kept.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    RemoveDirectoryW(wide.c_str());
  }
}

bool DeleteDirectoryTree(std::string_view directory) {
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
