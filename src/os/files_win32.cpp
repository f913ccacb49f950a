#include <io.h>

#include <cstdlib>

#include "os/files.h"
#include "os/handle_win32.h"
#include "os/text.h"
#include "os/windows_api.h"

namespace ovix {
namespace {

// What the path leads to, links followed: GetFileAttributesW describes a link itself, so
// a link whose target is gone would count as an existing file.
DWORD Attributes(std::string_view path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return attributes;
  }
  // No access is asked for, so no other program's sharing mode can refuse the open.
  const UniqueHandle target(
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!target.valid() || !GetFileInformationByHandle(target.get(), &information)) {
    return INVALID_FILE_ATTRIBUTES;
  }
  return information.dwFileAttributes;
}

}  // namespace

std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath) {
  if (windowsPath.empty()) return std::nullopt;
  return std::filesystem::path(Widen(windowsPath));
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool SyncToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

bool SyncFileAt(const std::filesystem::path& path) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid() && FlushFileBuffers(file.get()) != FALSE;
}

void NoteFileMade(const std::filesystem::path&) {}

bool FileExists(std::string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::filesystem::path> UserDataFolder() {
  if (const wchar_t* own = _wgetenv(L"OVIX_DATA_DIR"); own != nullptr && *own != L'\0') {
    return std::filesystem::path(own);
  }
  for (const wchar_t* variable : {L"LOCALAPPDATA", L"USERPROFILE"}) {
    const wchar_t* folder = _wgetenv(variable);
    if (folder == nullptr || *folder == L'\0') continue;
    std::filesystem::path base(folder);
    if (variable[0] == L'U') base = base / L"AppData" / L"Local";
    return base / L"Ovix Updater";
  }
  return std::nullopt;
}

}  // namespace ovix
