#include "game/clients.h"

namespace ovix {

std::string ClientCaption(const TGameClient& client) {
  return client.version.empty() ? client.folder : client.folder + " (" + client.version + ")";
}

}  // namespace ovix
