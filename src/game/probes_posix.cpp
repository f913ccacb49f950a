#include "game/probes_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "game/probes.h"
#include "os/text.h"
#include "os/windows_path.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Reads a /proc file up to its first NUL or newline, at most `limit` bytes; a command line
// can be far longer than the word we want.
std::string ReadFirstWord(const fs::path& file, std::size_t limit, char stop) {
  std::string text;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    const char* begin = buffer;
    const char* end = buffer + got;
    const char* found = std::find(begin, end, stop);
    text.append(begin, found);
    if (found != end) break;
  }
  ::close(fd);
  if (text.size() > limit) text.resize(limit);
  return text;
}

bool IsProcessFolder(const std::string& name) {
  return !name.empty() &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsProcessRunningIn(const fs::path& procFolder, std::string_view exeName) {
  // Windows paths are at most 32767 UTF-16 units; three bytes each in UTF-8 at worst.
  constexpr std::size_t kCommandLimit = 3 * 32768;
  try {
    std::error_code error;
    for (fs::directory_iterator it(procFolder, error), end; !error && it != end;
         it.increment(error)) {
      if (!IsProcessFolder(it->path().filename().string())) continue;
      // Kernel threads and exiting processes have an empty command line; skip, never match.
      for (const auto& [file, stop] : {std::pair{"cmdline", '\0'}, std::pair{"comm", '\n'}}) {
        const std::string name = ReadFirstWord(it->path() / file, kCommandLimit, stop);
        if (!name.empty() && ExeNameMatches(name, exeName)) return true;
      }
    }
  } catch (const std::exception&) {
    // A process list that cannot be walked says nothing runs, as on Windows.
  }
  return false;
}

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

std::string GetFileVersionString(std::string_view exePath) {
  const std::optional<fs::path> file = ResolveWindowsPath(exePath);
  if (!file) return {};
  const std::optional<FileVersion> version = ReadPeFileVersionFromFile(*file);
  return version ? FormatFileVersion(*version) : std::string();
}

bool IsProcessRunning(std::string_view exeName) { return IsProcessRunningIn("/proc", exeName); }

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

void ListVersionFolders(std::string_view directory, std::vector<std::string>& names) {
  const std::optional<fs::path> folder = ResolveWindowsPath(directory);
  if (!folder) return;
  std::error_code error;
  for (fs::directory_iterator entry(*folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string name = entry->path().filename().string();
    // A leading dot is how this system hides an entry.
    if (name.starts_with('.') || !MatchesMask(name, "*.*.*")) continue;
    std::error_code ignored;
    if (entry->is_directory(ignored)) names.push_back(std::move(name));
  }
}

}  // namespace ovix
