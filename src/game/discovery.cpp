#include "game/discovery.h"

#include <array>
#include <filesystem>
#include <optional>

#include "game/shortcuts.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/text.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStartMenuShortcut =
    ":\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\World of Tanks\\World of tanks.lnk";

// Tried in this order: the client itself, the statistics tool, the launcher.
constexpr std::array<std::string_view, 3> kGamePrograms = {"*WorldOfTanks.exe", "*ovix-stat.exe",
                                                           "*WOTLauncher.exe"};

std::optional<std::string> FromStartMenu() {
  const std::u16string current = Utf8ToUtf16(GetCurrentDirectoryPath());
  // The drive letter of the current directory, whatever it is.
  const std::string shortcut =
      Utf16ToUtf8(current.substr(0, current.empty() ? 0 : 1)) + std::string(kStartMenuShortcut);
  if (!FileExists(shortcut)) return std::nullopt;
  const std::string directory = DirectoryPart(ResolveShortcut(shortcut));
  if (!IsGameDirectory(directory)) return std::nullopt;
  return directory;
}

std::optional<std::string> FromDesktop() {
  const std::string desktop = GetDesktopDirectory();
  // Without a desktop the pattern would search the current drive's root instead.
  if (desktop.empty()) return std::nullopt;
  const std::optional<fs::path> folder = LocalPath(desktop);
  if (!folder) return std::nullopt;
  std::error_code error;
  for (fs::directory_iterator entry(*folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::u8string utf8 = entry->path().filename().u8string();
    const std::string name(utf8.begin(), utf8.end());
    if (!MatchesMask(name, "*.lnk")) continue;
    const std::string target = ResolveShortcut(desktop + "\\" + name);
    if (!IsGameProgram(target)) continue;
    const std::string directory = DirectoryPart(target);
    if (IsGameDirectory(directory)) return directory;
  }
  return std::nullopt;
}

std::optional<std::string> FromUsualFolders() {
  for (const std::string& root : LogicalDriveRoots()) {
    if (!IsDriveReady(root)) continue;
    for (const std::string_view candidate : kUsualGameFolders) {
      const std::string directory = root + std::string(candidate);
      if (DirectoryExists(directory + "\\") && IsGameDirectory(directory)) return directory;
    }
  }
  return std::nullopt;
}

}  // namespace

bool IsGameDirectory(std::string_view directory) {
  return FileExists(std::string(directory) + "\\worldoftanks.exe");
}

std::string DirectoryPart(std::string_view target) {
  const std::size_t last = target.find_last_of("\\:");
  if (last == std::string_view::npos) return {};
  std::string_view directory = target.substr(0, last + 1);
  if (directory.size() >= 2 && directory.back() == '\\') {
    const char before = directory[directory.size() - 2];
    if (before != '\\' && before != ':') directory.remove_suffix(1);
  }
  return std::string(directory);
}

bool IsGameProgram(std::string_view target) {
  for (const std::string_view mask : kGamePrograms)
    if (MatchesMask(target, mask)) return true;
  return false;
}

std::string SearchGameDirectory(const std::function<void(const std::string&)>& accept) {
  for (const auto stage : {FromStartMenu, FromDesktop, FromUsualFolders}) {
    try {
      if (const auto found = stage()) {
        if (accept) accept(*found);
        return *found;
      }
    } catch (...) {
      // A stage that fails only ends itself: the next may still find the game.
    }
  }
  return {};
}

}  // namespace ovix
