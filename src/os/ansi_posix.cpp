#include <cstdlib>

#include "os/ansi.h"

namespace ovix {

std::uint32_t AnsiCodePage() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return CodePageFromLocaleName(value);
  }
  return 1252;
}

std::string AnsiToUtf8(std::string_view bytes) { return CodePageToUtf8(bytes, AnsiCodePage()); }

}  // namespace ovix
