#pragma once
// Every game client on this system. On Windows the search of discovery.h is the whole story;
// where Windows programs run in Wine prefixes (Steam's, Lutris', Bottles', PortProton's, the
// player's own), each client lives in a prefix of its own, and the program reaches it, its
// files and the install script's paths through that prefix.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

#ifdef OVIX_WINE_PREFIXES
inline constexpr bool kClientsLiveInPrefixes = true;
#else
inline constexpr bool kClientsLiveInPrefixes = false;
#endif

struct TGameClient {
  std::string folder;       // the folder holding the client, as this system names it
  std::string version;      // "major.minor.release" of the client; empty when unreadable
  std::string prefix;       // the Wine prefix it runs in; empty for none
  std::string windowsPath;  // the folder's Windows path in that prefix
  bool operator==(const TGameClient&) const = default;
};

// Every client found, each once, in search order: the prefix in WINEPREFIX (the window's own
// search first), Steam's libraries, Lutris, Bottles, PortProton, then ~/.wine. Empty on Windows.
std::vector<TGameClient> FindGameClients();

// The client in `folder`, a folder of this system, reached through the prefix it belongs to:
// one of `known` with that folder, else the prefix enclosing it, else the prefix of the Steam
// library it is in, else the prefix in force when that reaches it, else none. nullopt when the
// folder holds no client, and always on Windows.
std::optional<TGameClient> ClientAt(std::string_view folder, const std::vector<TGameClient>& known);

// Makes every Windows path resolve through the client's prefix from now on.
void UseClientPrefix(const TGameClient& client);

// A path of this system to an existing file as the Windows path the prefix in force gives it;
// anything else (a Windows path, an address, a missing file, every path on Windows) unchanged.
std::string AsWindowsPath(const std::string& path);

// How a client is listed for the player: "folder (version)", or the folder alone.
std::string ClientCaption(const TGameClient& client);

}  // namespace ovix
