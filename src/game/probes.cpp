#include "game/probes.h"

#include <algorithm>

#include "os/text.h"

namespace ovix {
std::string FormatFileVersion(const FileVersion& version) {
  return std::to_string(version[0]) + '.' + std::to_string(version[1]) + '.' +
         std::to_string(version[2]);
}

bool ExeNameMatches(std::string_view processExeName, std::string_view exeName) {
  const std::size_t cut = processExeName.find_last_of("\\:");
  const std::string_view fileName =
      cut == std::string_view::npos ? processExeName : processExeName.substr(cut + 1);
  return EqualsIgnoringAsciiCase(fileName, exeName) ||
         EqualsIgnoringAsciiCase(processExeName, exeName);
}

}  // namespace ovix
