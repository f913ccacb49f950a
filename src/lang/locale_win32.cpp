#include "lang/locale.h"
#include "os/windows_api.h"

namespace ovix {

std::uint32_t UserDefaultLocaleId() { return static_cast<std::uint32_t>(GetUserDefaultLCID()); }

}  // namespace ovix
