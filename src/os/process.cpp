#include "os/process.h"

#include "os/text.h"

namespace ovix {

bool ExeNameMatches(std::string_view processExeName, std::string_view exeName) {
  const std::size_t cut = processExeName.find_last_of("\\:");
  const std::string_view fileName =
      cut == std::string_view::npos ? processExeName : processExeName.substr(cut + 1);
  return EqualsIgnoringAsciiCase(fileName, exeName) ||
         EqualsIgnoringAsciiCase(processExeName, exeName);
}

}  // namespace ovix
