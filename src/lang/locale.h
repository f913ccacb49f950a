#pragma once
// Start-up language choice from the user's default locale (the one for formats, not the
// language of the system's user interface). Locale identifiers use the Windows layout: the
// primary language in the low 10 bits, the sublanguage (region) above.

#include <cstdint>
#include <string_view>

#include "lang/languages.h"

namespace ovix {

// Only the low 8 bits decide, so every regional variant of a language maps to it; a locale
// of none of the ten languages gives lngEN.
TLanguage LanguageFromLocaleId(std::uint32_t lcid);

// The identifier Windows uses for a POSIX locale name such as "fr_CA.UTF-8" or
// "de_DE@euro"; codeset and modifier are ignored. A known language with an unknown region
// gets its default sublanguage; "C", "POSIX", empty, unknown or malformed names give
// English (United States), 0x0409.
std::uint32_t LocaleIdFromPosixName(std::string_view name);

// The user's default locale identifier, asked of the system.
std::uint32_t UserDefaultLocaleId();

// The language the program starts in.
TLanguage UserDefaultLanguage();

}  // namespace ovix
