#include "game/shortcuts.h"

#include <algorithm>
#include <cctype>

namespace ovix {

std::string ShortcutFileName(std::string_view path) {
  const std::size_t name = path.find_last_of("\\:");
  const std::size_t dot = path.rfind('.');
  const bool hasExtension =
      dot != std::string_view::npos && (name == std::string_view::npos || dot > name);
  const std::string_view extension = hasExtension ? path.substr(dot) : std::string_view();
  constexpr std::string_view kLink = ".LNK";
  const bool isLink =
      std::equal(extension.begin(), extension.end(), kLink.begin(), kLink.end(),
                 [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
  return isLink ? std::string(path) : std::string(path) + ".lnk";
}

}  // namespace ovix
