#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <system_error>
#include <unordered_map>

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

// A character that no Windows name holds but a Linux one may (a Steam library named My
// "Games", a folder holding a backslash): Wine shows it as U+F000 plus the character, in
// the private use area, and so does this program, so that such a folder is reached both ways.
bool IsMappedInName(char c) { return IsForbiddenInName(c) || c == '\\'; }

std::string WindowsName(std::string_view linuxName) {
  std::string name;
  for (const char c : linuxName) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || !IsMappedInName(c)) {
      name += c;
      continue;
    }
    // U+F000 + c in UTF-8.
    name += '\xEF';
    name += static_cast<char>(0x80 | (byte >> 6));
    name += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return name;
}

std::string LinuxName(std::string_view windowsName) {
  std::string name;
  for (std::size_t i = 0; i < windowsName.size(); ++i) {
    const auto lead = static_cast<unsigned char>(windowsName[i]);
    if (lead == 0xEF && i + 2 < windowsName.size()) {
      const auto second = static_cast<unsigned char>(windowsName[i + 1]);
      const auto third = static_cast<unsigned char>(windowsName[i + 2]);
      const auto c = static_cast<char>(((second & 0x01) << 6) | (third & 0x3F));
      if ((second & 0xFE) == 0x80 && (third & 0xC0) == 0x80 && IsMappedInName(c)) {
        name += c;
        i += 2;
        continue;
      }
    }
    name += windowsName[i];
  }
  return name;
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

// A folder's names by their ASCII case-folded form (the bytewise-first of each), as last read,
// and the folder's identity and time then: a name about to be made is looked for in every
// write, and reading a folder of thousands of files for each would cost more than the write.
struct TListing {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  std::unordered_map<std::string, std::string> byFoldedName;

  void Add(std::string name) {
    auto [it, added] = byFoldedName.try_emplace(AsciiLowerCase(name), name);
    if (!added && name < it->second) it->second = std::move(name);
  }
};

// Folders read lately; a folder changed since by anything but this program's own noted writes
// has another time and is read again.
constexpr std::size_t kListingsKept = 64;
std::mutex listingsMutex;
std::unordered_map<std::string, TListing> listings;

bool SameFolderState(const struct stat& now, const TListing& listing) {
  return now.st_dev == listing.device && now.st_ino == listing.inode &&
         now.st_mtim.tv_sec == listing.modified.tv_sec &&
         now.st_mtim.tv_nsec == listing.modified.tv_nsec;
}

void TakeFolderState(const struct stat& now, TListing& listing) {
  listing.device = now.st_dev;
  listing.inode = now.st_ino;
  listing.modified = now.st_mtim;
}

// The name under which `name` exists in `folder`: as written when it exists so, else the
// bytewise-first entry that differs only in ASCII case.
std::optional<std::string> FindEntry(const fs::path& folder, std::string_view name) {
  if (EntryExists(folder / name)) return std::string(name);
  struct stat state {};
  if (stat(folder.c_str(), &state) != 0 || !S_ISDIR(state.st_mode)) return std::nullopt;
  const std::lock_guard lock(listingsMutex);
  auto found = listings.find(folder.native());
  if (found == listings.end() || !SameFolderState(state, found->second)) {
    if (found == listings.end() && listings.size() >= kListingsKept) listings.clear();
    TListing listing;
    TakeFolderState(state, listing);
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      listing.Add(it->path().filename().string());
    }
    found = listings.insert_or_assign(folder.native(), std::move(listing)).first;
  }
  const auto match = found->second.byFoldedName.find(AsciiLowerCase(name));
  if (match == found->second.byFoldedName.end()) return std::nullopt;
  return match->second;
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
  for (const std::string_view written : *components) {
    const std::string component = LinuxName(written);
    std::optional<std::string> name;
    if (onDisk) name = FindEntry(result, component);
    onDisk = name.has_value();
    result /= name ? fs::path(*name) : fs::path(component);
  }
  return result;
}

void NoteEntryMade(const fs::path& path) {
  const std::lock_guard lock(listingsMutex);
  const auto found = listings.find(path.parent_path().native());
  if (found == listings.end()) return;
  struct stat state {};
  if (stat(path.parent_path().c_str(), &state) != 0) {
    listings.erase(found);
    return;
  }
  found->second.Add(path.filename().string());
  TakeFolderState(state, found->second);
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
    result += WindowsName(element->string());
    first = false;
  }
  return result;
}

}  // namespace ovix
