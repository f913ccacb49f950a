#include "lang/locale.h"

#include <array>
#include <cstddef>
#include <string>
#include <utility>

namespace ovix {
namespace {

constexpr std::uint32_t kEnglishUnitedStates = 0x0409;

// Tested in this order; the first match decides.
constexpr std::array<std::pair<std::uint32_t, TLanguage>, 9> kLanguageByPrimaryId = {{
    {0x0C, lngFR},
    {0x07, lngDE},
    {0x15, lngPL},
    {0x19, lngRU},
    {0x22, lngUA},
    {0x0E, lngHU},
    {0x0B, lngFI},
    {0x13, lngNL},
    {0x0A, lngES},
}};

struct LanguageLocale {
  std::string_view language;  // ISO 639 code, lower case
  std::uint16_t lcid;         // used when the region is missing or unknown
};

// Sublanguage 1 is the default, except for Nynorsk, which Windows files under the
// Norwegian primary id with sublanguage 2 (sublanguage 1 is Bokmål).
constexpr LanguageLocale kLanguageLocales[] = {
    {"af", 0x0436}, {"ar", 0x0401}, {"az", 0x042C}, {"be", 0x0423}, {"bg", 0x0402}, {"ca", 0x0403},
    {"cs", 0x0405}, {"da", 0x0406}, {"de", 0x0407}, {"el", 0x0408}, {"en", 0x0409}, {"es", 0x040A},
    {"et", 0x0425}, {"eu", 0x042D}, {"fa", 0x0429}, {"fi", 0x040B}, {"fr", 0x040C}, {"gl", 0x0456},
    {"he", 0x040D}, {"hi", 0x0439}, {"hr", 0x041A}, {"hu", 0x040E}, {"hy", 0x042B}, {"id", 0x0421},
    {"is", 0x040F}, {"it", 0x0410}, {"ja", 0x0411}, {"ka", 0x0437}, {"kk", 0x043F}, {"ko", 0x0412},
    {"lt", 0x0427}, {"lv", 0x0426}, {"mk", 0x042F}, {"ms", 0x043E}, {"nb", 0x0414}, {"nl", 0x0413},
    {"nn", 0x0814}, {"no", 0x0414}, {"pl", 0x0415}, {"pt", 0x0416}, {"ro", 0x0418}, {"ru", 0x0419},
    {"sk", 0x041B}, {"sl", 0x0424}, {"sq", 0x041C}, {"sv", 0x041D}, {"sw", 0x0441}, {"th", 0x041E},
    {"tr", 0x041F}, {"uk", 0x0422}, {"ur", 0x0420}, {"vi", 0x042A}, {"zh", 0x0404},
};

struct RegionalLocale {
  std::string_view language;  // ISO 639 code, lower case
  std::string_view region;    // ISO 3166 code, upper case, or a UN M.49 number
  std::uint16_t lcid;
};

// Regions whose identifier differs from the language's default one.
// clang-format off
constexpr RegionalLocale kRegionalLocales[] = {
    // French
    {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C}, {"fr", "LU", 0x140C},
    {"fr", "MC", 0x180C}, {"fr", "RE", 0x200C}, {"fr", "CD", 0x240C}, {"fr", "SN", 0x280C},
    {"fr", "CM", 0x2C0C}, {"fr", "CI", 0x300C}, {"fr", "ML", 0x340C}, {"fr", "MA", 0x380C},
    {"fr", "HT", 0x3C0C},
    // German
    {"de", "CH", 0x0807}, {"de", "AT", 0x0C07}, {"de", "LU", 0x1007}, {"de", "LI", 0x1407},
    // Russian, Dutch
    {"ru", "MD", 0x0819}, {"nl", "BE", 0x0813},
    // Spanish: Spain gets the modern sort order, as Windows gives for "es-ES".
    {"es", "ES", 0x0C0A}, {"es", "MX", 0x080A}, {"es", "GT", 0x100A}, {"es", "CR", 0x140A},
    {"es", "PA", 0x180A}, {"es", "DO", 0x1C0A}, {"es", "VE", 0x200A}, {"es", "CO", 0x240A},
    {"es", "PE", 0x280A}, {"es", "AR", 0x2C0A}, {"es", "EC", 0x300A}, {"es", "CL", 0x340A},
    {"es", "UY", 0x380A}, {"es", "PY", 0x3C0A}, {"es", "BO", 0x400A}, {"es", "SV", 0x440A},
    {"es", "HN", 0x480A}, {"es", "NI", 0x4C0A}, {"es", "PR", 0x500A}, {"es", "US", 0x540A},
    {"es", "419", 0x580A}, {"es", "CU", 0x5C0A},
    // English
    {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009}, {"en", "NZ", 0x1409},
    {"en", "IE", 0x1809}, {"en", "ZA", 0x1C09}, {"en", "JM", 0x2009}, {"en", "BZ", 0x2809},
    {"en", "TT", 0x2C09}, {"en", "ZW", 0x3009}, {"en", "PH", 0x3409}, {"en", "IN", 0x4009},
    {"en", "MY", 0x4409}, {"en", "SG", 0x4809},
    // Others
    {"it", "CH", 0x0810}, {"pt", "PT", 0x0816}, {"sv", "FI", 0x081D}, {"ro", "MD", 0x0818},
    {"hr", "BA", 0x101A}, {"ms", "BN", 0x083E}, {"zh", "CN", 0x0804}, {"zh", "HK", 0x0C04},
    {"zh", "SG", 0x1004}, {"zh", "MO", 0x1404},
};
// clang-format on

// ASCII only: the C library's tolower would depend on the very locale being parsed.
std::string ToAsciiCase(std::string_view text, bool upper) {
  std::string result(text);
  for (char& c : result) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

bool IsLanguageCode(std::string_view code) {
  if (code.size() != 2 && code.size() != 3) return false;
  for (const char c : code) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

}  // namespace

TLanguage LanguageFromLocaleId(std::uint32_t lcid) {
  const std::uint32_t low = lcid & 0xFF;
  for (const auto& [primary, language] : kLanguageByPrimaryId) {
    if (low == primary) return language;
  }
  return lngEN;
}

std::uint32_t LocaleIdFromPosixName(std::string_view name) {
  // language[_region][.codeset][@modifier]; "-" is accepted too, as in BCP 47 tags.
  name = name.substr(0, name.find_first_of(".@"));
  const std::size_t separator = name.find_first_of("_-");
  const std::string language = ToAsciiCase(name.substr(0, separator), false);
  const std::string region =
      separator == std::string_view::npos ? "" : ToAsciiCase(name.substr(separator + 1), true);
  if (!IsLanguageCode(language)) return kEnglishUnitedStates;  // also "C" and "POSIX"
  for (const RegionalLocale& locale : kRegionalLocales) {
    if (locale.language == language && locale.region == region) return locale.lcid;
  }
  for (const LanguageLocale& locale : kLanguageLocales) {
    if (locale.language == language) return locale.lcid;
  }
  return kEnglishUnitedStates;
}

TLanguage UserDefaultLanguage() { return LanguageFromLocaleId(UserDefaultLocaleId()); }

}  // namespace ovix
