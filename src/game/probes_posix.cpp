#include <filesystem>
#include <optional>
#include <system_error>

#include "game/probes.h"
#include "os/text.h"
#include "os/windows_path.h"

namespace ovix {

namespace fs = std::filesystem;

std::string GetFileVersionString(std::string_view exePath) {
  const std::optional<fs::path> file = ResolveWindowsPath(exePath);
  if (!file) return {};
  const std::optional<FileVersion> version = ReadPeFileVersionFromFile(*file);
  return version ? FormatFileVersion(*version) : std::string();
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
