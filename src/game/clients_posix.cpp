// Where Linux keeps the game: in Steam's libraries (run by its Proton prefix), in the prefixes
// of Lutris, Bottles and PortProton, and in the player's own Wine prefixes.

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "game/clients.h"
#include "game/discovery.h"
#include "game/probes.h"
#include "game/shortcuts.h"
#include "game/steam_libraries.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/text.h"
#include "os/windows_path.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// The game's Steam application: its folder in a library's steamapps/common, and its Proton
// prefix in the library's steamapps/compatdata.
constexpr std::string_view kSteamAppId = "1407200";
constexpr std::string_view kSteamGameFolder = "World of Tanks";
// Libraries larger than this are no list Steam wrote.
constexpr std::uintmax_t kLibraryListLimit = 1 << 20;

// The game's own launcher installs each realm's client into a folder of its own.
constexpr std::array<std::string_view, 5> kRealms = {"EU", "NA", "ASIA", "RU", "CT"};

constexpr std::string_view kStartMenuShortcut =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\World of Tanks\\World of tanks.lnk";

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The entries of a folder that are folders, by name, so the order does not depend on the disk.
std::vector<fs::path> SubFolders(const fs::path& folder) {
  std::vector<fs::path> folders;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (IsFolder(it->path())) folders.push_back(it->path());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

// A folder Wine made a prefix of, or will: it has its C: drive or its drive table.
bool LooksLikePrefix(const fs::path& folder) {
  return IsFolder(folder / "drive_c") || IsFolder(folder / "dosdevices");
}

// Switches the prefix Windows paths resolve through for one scope.
class PrefixScope {
 public:
  explicit PrefixScope(const fs::path& prefix) : previous_(WinePrefixInUse()) {
    UseWinePrefix(prefix);
  }
  ~PrefixScope() {
    if (previous_) {
      UseWinePrefix(*previous_);
    } else {
      UseEnvironmentWinePrefix();
    }
  }
  PrefixScope(const PrefixScope&) = delete;
  PrefixScope& operator=(const PrefixScope&) = delete;

 private:
  std::optional<fs::path> previous_;
};

// The clients found so far, each folder once, in the order found.
class FoundClients {
 public:
  // Adds the client at a Windows path of the prefix in force, which is `prefix`.
  void Add(const std::string& windowsPath, const fs::path& prefix) {
    if (windowsPath.empty() || !IsGameDirectory(windowsPath)) return;
    const std::optional<fs::path> local = ResolveWindowsPath(windowsPath);
    std::error_code error;
    const fs::path folder = local ? fs::canonical(*local, error) : fs::path();
    if (folder.empty() || error || !seen_.insert(folder).second) return;
    clients_.push_back({folder.string(), GetFileVersionString(windowsPath + "\\worldoftanks.exe"),
                        prefix.string(), windowsPath});
  }
  // Whether this prefix is searched for the first time.
  bool FirstVisit(const fs::path& prefix) {
    std::error_code error;
    const fs::path canonical = fs::canonical(prefix, error);
    return visited_.insert(error ? prefix : canonical).second;
  }
  std::vector<TGameClient> Take() { return std::move(clients_); }

 private:
  std::set<fs::path> seen_;
  std::set<fs::path> visited_;
  std::vector<TGameClient> clients_;
};

std::vector<std::string> ShortcutsIn(const std::string& folder) {
  std::vector<std::string> links;
  const std::optional<fs::path> local = LocalPath(folder);
  if (!local) return links;
  std::error_code error;
  for (fs::directory_iterator it(*local, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (MatchesMask(name, "*.lnk")) links.push_back(folder + "\\" + name);
  }
  std::sort(links.begin(), links.end());
  return links;
}

// Everything in the prefix in force that the window's search would look at, on its C: drive
// rather than the current one, on every user's desktop (Proton's user is not the login), and
// in the launcher's realm folders.
void SearchPrefix(const fs::path& prefix, FoundClients& found) {
  const PrefixScope scope(prefix);
  try {
    if (FileExists(std::string(kStartMenuShortcut))) {
      found.Add(DirectoryPart(ResolveShortcut(kStartMenuShortcut)), prefix);
    }
    if (const std::optional<fs::path> users = LocalPath("C:\\users")) {
      for (const fs::path& user : SubFolders(*users)) {
        for (const std::string& link :
             ShortcutsIn("C:\\users\\" + user.filename().string() + "\\Desktop")) {
          const std::string target = ResolveShortcut(link);
          if (IsGameProgram(target)) found.Add(DirectoryPart(target), prefix);
        }
      }
    }
    for (const std::string& root : LogicalDriveRoots()) {
      if (!IsDriveReady(root)) continue;
      for (const std::string_view folder : kUsualGameFolders)
        found.Add(root + std::string(folder), prefix);
      for (const std::string_view realm : kRealms) {
        const std::string name = "World_of_Tanks_" + std::string(realm);
        found.Add(root + "Games\\" + name, prefix);
        found.Add(root + name, prefix);
      }
    }
  } catch (const std::exception&) {
    // A damaged prefix ends its own search only.
  }
}

void SearchPrefixesIn(const fs::path& parent, FoundClients& found) {
  for (const fs::path& prefix : SubFolders(parent)) {
    if (LooksLikePrefix(prefix) && found.FirstVisit(prefix)) SearchPrefix(prefix, found);
  }
}

// The prefix the game's Steam library gives it: none while Steam has not started it once.
fs::path SteamPrefix(const fs::path& library) {
  const fs::path prefix = library / "steamapps" / "compatdata" / kSteamAppId / "pfx";
  return IsFolder(prefix) ? prefix : fs::path();
}

std::vector<fs::path> SteamLibraries(const fs::path& home) {
  std::vector<fs::path> libraries;
  std::set<fs::path> seen;
  const auto add = [&](const fs::path& library) {
    std::error_code error;
    const fs::path canonical = fs::canonical(library, error);
    if (!error && IsFolder(canonical) && seen.insert(canonical).second)
      libraries.push_back(canonical);
  };
  for (const fs::path& root :
       {home / ".local/share/Steam", home / ".steam/steam", home / ".steam/debian-installation",
        home / ".var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
    if (!IsFolder(root)) continue;
    add(root);
    const fs::path list = root / "steamapps" / "libraryfolders.vdf";
    std::error_code error;
    if (fs::file_size(list, error) > kLibraryListLimit || error) continue;
    std::ifstream in(list, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& path : SteamLibraryPaths(text)) add(path);
  }
  return libraries;
}

void SearchSteam(const fs::path& home, FoundClients& found) {
  for (const fs::path& library : SteamLibraries(home)) {
    const fs::path game = library / "steamapps" / "common" / kSteamGameFolder;
    if (!IsFolder(game)) continue;
    const fs::path prefix = SteamPrefix(library);
    const PrefixScope scope(prefix);
    // The client stands in the game's folder, or in a realm's folder below it.
    found.Add(ToWindowsPath(game), prefix);
    for (const fs::path& realm : SubFolders(game)) found.Add(ToWindowsPath(realm), prefix);
  }
}

std::vector<fs::path> PortProtonFolders(const fs::path& home) {
  std::vector<fs::path> folders;
  // Its configuration names the folder the player installed it into.
  std::ifstream config(home / ".config" / "PortProton.conf");
  if (std::string line; std::getline(config, line) && line.starts_with('/'))
    folders.push_back(line);
  folders.push_back(home / "PortProton");
  folders.push_back(home / ".local/share/PortProton");
  folders.push_back(home / ".var/app/ru.linux_gaming.PortProton");
  return folders;
}

// The Steam library a folder of this system lies in, by its steamapps/common parent.
std::optional<fs::path> SteamLibraryOf(const fs::path& folder) {
  for (fs::path at = folder; at.has_relative_path(); at = at.parent_path()) {
    if (at.filename() == "common" && at.parent_path().filename() == "steamapps") {
      return at.parent_path().parent_path();
    }
  }
  return std::nullopt;
}

// The prefix whose drive_c a folder of this system lies in.
std::optional<fs::path> EnclosingPrefix(const fs::path& folder) {
  for (fs::path at = folder; at.has_relative_path(); at = at.parent_path()) {
    if (at.filename() == "drive_c") return at.parent_path();
  }
  return std::nullopt;
}

}  // namespace

std::vector<TGameClient> FindGameClients() {
  FoundClients found;
  const fs::path home = HomeFolder();
  if (const char* prefix = getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    found.FirstVisit(prefix);
    {
      const PrefixScope scope(prefix);
      // The window's own search decides which comes first, as it always did.
      found.Add(SearchGameDirectory(), prefix);
    }
    SearchPrefix(prefix, found);
  }
  if (!home.empty()) {
    SearchSteam(home, found);
    SearchPrefixesIn(home / "Games", found);
    SearchPrefixesIn(home / ".local/share/bottles/bottles", found);
    SearchPrefixesIn(home / ".var/app/com.usebottles.bottles/data/bottles/bottles", found);
    for (const fs::path& portProton : PortProtonFolders(home)) {
      SearchPrefixesIn(portProton / "data" / "prefixes", found);
    }
    if (LooksLikePrefix(home / ".wine") && found.FirstVisit(home / ".wine")) {
      SearchPrefix(home / ".wine", found);
    }
  }
  return found.Take();
}

std::optional<TGameClient> ClientAt(std::string_view folder,
                                    const std::vector<TGameClient>& known) {
  std::error_code error;
  const fs::path local = fs::canonical(fs::absolute(fs::path(folder), error), error);
  if (error || !IsFolder(local)) return std::nullopt;
  for (const TGameClient& client : known) {
    if (client.folder == local.string()) return client;
  }
  std::optional<fs::path> prefix = EnclosingPrefix(local);
  if (!prefix || !LooksLikePrefix(*prefix)) prefix.reset();
  if (!prefix) {
    if (const std::optional<fs::path> library = SteamLibraryOf(local))
      prefix = SteamPrefix(*library);
  }
  if (!prefix) {
    const fs::path inForce = WinePrefixFolder();
    const PrefixScope scope(inForce);
    if (LooksLikePrefix(inForce) && !ToWindowsPath(local).empty()) prefix = inForce;
  }
  FoundClients found;
  const fs::path chosen = prefix.value_or(fs::path());
  {
    const PrefixScope scope(chosen);
    found.Add(ToWindowsPath(local), chosen);
  }
  std::vector<TGameClient> clients = found.Take();
  if (clients.empty()) return std::nullopt;
  return clients.front();
}

void UseClientPrefix(const TGameClient& client) { UseWinePrefix(client.prefix); }

std::string AsWindowsPath(const std::string& path) {
  std::error_code error;
  if (!path.starts_with('/') || !fs::is_regular_file(path, error)) return path;
  const std::string windowsPath = ToWindowsPath(path);
  return windowsPath.empty() ? path : windowsPath;
}

}  // namespace ovix
