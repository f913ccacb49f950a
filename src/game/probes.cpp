#include "game/probes.h"

namespace ovix {

std::string FormatFileVersion(const FileVersion& version) {
  return std::to_string(version[0]) + '.' + std::to_string(version[1]) + '.' +
         std::to_string(version[2]);
}

}  // namespace ovix
