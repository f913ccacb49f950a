#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <system_error>

#include "os/text.h"
#include "os/windows_path.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The characters Windows refuses in a file or folder name.
bool IsForbiddenInName(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>\"|?*:").find(c) != std::string_view::npos;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = getenv("HOME"); home != nullptr && *home != '\0') return home;
  // Services and sandboxes may run without HOME; the password database still knows it.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

namespace {

// The prefix chosen by UseWinePrefix; unset while the environment's is in force. Read by
// every path resolution, on any thread.
std::mutex chosenPrefixMutex;
std::optional<fs::path> chosenPrefix;

std::optional<fs::path> ChosenPrefix() { return WinePrefixInUse(); }

// The drives Wine gives a prefix it has not started yet, when the chosen one has no dosdevices
// folder: letter and root, in letter order. nullopt when the dosdevices folder decides.
std::optional<std::vector<std::pair<char, fs::path>>> DefaultDrives() {
  const std::optional<fs::path> prefix = ChosenPrefix();
  std::error_code error;
  if (!prefix || (!prefix->empty() && fs::is_directory(*prefix / "dosdevices", error))) {
    return std::nullopt;
  }
  std::vector<std::pair<char, fs::path>> drives;
  if (!prefix->empty() && fs::is_directory(*prefix / "drive_c", error)) {
    drives.emplace_back('C', *prefix / "drive_c");
  }
  drives.emplace_back('Z', fs::path("/"));
  return drives;
}

bool EntryExists(const fs::path& path) {
  std::error_code error;
  // A dangling link still occupies its name, so it counts as existing.
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// The name under which `name` exists in `folder`: as written when it exists so, else the
// bytewise-first entry that differs only in ASCII case.
std::optional<std::string> FindEntry(const fs::path& folder, std::string_view name) {
  if (EntryExists(folder / name)) return std::string(name);
  std::optional<std::string> best;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string candidate = it->path().filename().string();
    if (EqualsIgnoringAsciiCase(candidate, name) && (!best || candidate < *best)) {
      best = std::move(candidate);
    }
  }
  return best;
}

// Splits what follows "X:" into components, applying "." and ".." the way Windows does
// before it touches the disk. nullopt when a component holds a forbidden character.
std::optional<std::vector<std::string_view>> SplitComponents(std::string_view rest) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view component = rest.substr(start, end - start);
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      if (std::any_of(component.begin(), component.end(), IsForbiddenInName)) return std::nullopt;
      components.push_back(component);
    }
    start = end + 1;
  }
  return components;
}

}  // namespace

void UseWinePrefix(const fs::path& prefix) {
  const std::lock_guard lock(chosenPrefixMutex);
  chosenPrefix = prefix;
}

std::optional<fs::path> WinePrefixInUse() {
  const std::lock_guard lock(chosenPrefixMutex);
  return chosenPrefix;
}

void UseEnvironmentWinePrefix() {
  const std::lock_guard lock(chosenPrefixMutex);
  chosenPrefix.reset();
}

fs::path WinePrefixFolder() {
  if (std::optional<fs::path> prefix = ChosenPrefix()) return *prefix;
  if (const char* prefix = getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  return fs::path(HomeFolder()) / ".wine";
}

fs::path DosDevicesFolder() {
  const fs::path prefix = WinePrefixFolder();
  return prefix.empty() ? fs::path() : prefix / "dosdevices";
}

std::vector<char> DriveLetters() {
  std::vector<char> letters;
  if (const auto drives = DefaultDrives()) {
    for (const auto& drive : *drives) letters.push_back(drive.first);
    return letters;
  }
  std::error_code error;
  for (fs::directory_iterator it(DosDevicesFolder(), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() == 2 && IsAsciiLetter(name[0]) && name[1] == ':') {
      letters.push_back(AsciiUpper(name[0]));
    }
  }
  std::sort(letters.begin(), letters.end());
  letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
  return letters;
}

std::optional<fs::path> DriveRoot(char letter) {
  if (!IsAsciiLetter(letter)) return std::nullopt;
  if (const auto drives = DefaultDrives()) {
    for (const auto& [driveLetter, target] : *drives) {
      if (driveLetter != AsciiUpper(letter)) continue;
      std::error_code error;
      fs::path root = fs::canonical(target, error);
      if (error || !fs::is_directory(root, error) || error) return std::nullopt;
      return root;
    }
    return std::nullopt;
  }
  const fs::path folder = DosDevicesFolder();
  // Wine writes the entries in lower case; an upper-case one made by hand also serves.
  for (const char c : {AsciiLower(letter), AsciiUpper(letter)}) {
    const fs::path entry = folder / std::string{c, ':'};
    if (!EntryExists(entry)) continue;
    std::error_code error;
    fs::path root = fs::canonical(entry, error);
    if (error || !fs::is_directory(root, error) || error) return std::nullopt;
    return root;
  }
  return std::nullopt;
}

std::optional<fs::path> ResolveWindowsPath(std::string_view windowsPath) {
  if (windowsPath.size() < 2 || !IsAsciiLetter(windowsPath[0]) || windowsPath[1] != ':') {
    return std::nullopt;
  }
  const auto components = SplitComponents(windowsPath.substr(2));
  if (!components) return std::nullopt;
  std::optional<fs::path> root = DriveRoot(windowsPath[0]);
  if (!root) return std::nullopt;

  fs::path result = std::move(*root);
  bool onDisk = true;
  for (const std::string_view component : *components) {
    std::optional<std::string> name;
    if (onDisk) name = FindEntry(result, component);
    onDisk = name.has_value();
    result /= name ? fs::path(*name) : fs::path(component);
  }
  return result;
}

std::string ToWindowsPath(const fs::path& posixPath) {
  std::error_code error;
  const fs::path absolute = fs::absolute(posixPath, error);
  if (error) return {};
  const fs::path full = fs::weakly_canonical(absolute, error);
  if (error) return {};
  const std::vector<fs::path::iterator::value_type> elements(full.begin(), full.end());

  char bestLetter = 0;
  std::size_t bestLength = 0;
  for (const char letter : DriveLetters()) {
    const std::optional<fs::path> root = DriveRoot(letter);
    if (!root) continue;
    std::size_t length = 0;
    auto element = elements.begin();
    for (const fs::path& component : *root) {
      if (component.empty()) continue;  // a trailing separator
      if (element == elements.end() || *element != component) {
        length = 0;
        break;
      }
      ++element, ++length;
    }
    if (length > bestLength) bestLetter = letter, bestLength = length;
  }
  if (bestLetter == 0) return {};

  std::string result{bestLetter, ':', '\\'};
  bool first = true;
  for (auto element = elements.begin() + static_cast<std::ptrdiff_t>(bestLength);
       element != elements.end(); ++element) {
    if (element->empty()) continue;
    if (!first) result += '\\';
    result += element->string();
    first = false;
  }
  return result;
}

}  // namespace ovix
