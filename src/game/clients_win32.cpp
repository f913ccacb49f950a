// Windows has no prefixes: the window's own search finds the one client it takes.

#include "game/clients.h"

namespace ovix {

std::vector<TGameClient> FindGameClients() { return {}; }

std::optional<TGameClient> ClientAt(std::string_view, const std::vector<TGameClient>&) {
  return std::nullopt;
}

void UseClientPrefix(const TGameClient&) {}

std::string AsWindowsPath(const std::string& path) { return path; }

}  // namespace ovix
