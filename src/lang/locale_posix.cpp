#include <cstdlib>

#include "lang/locale.h"

namespace ovix {

// The variables in the order the C library consults them for the character type category;
// an empty value counts as unset, as it does there.
std::uint32_t UserDefaultLocaleId() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleIdFromPosixName(value);
  }
  return LocaleIdFromPosixName("");
}

}  // namespace ovix
