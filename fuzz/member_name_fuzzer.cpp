// Any stored member name is either refused or split into components that stay below the
// destination and that Windows takes for plain names.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "os/text.h"
#include "script/member_name.h"

namespace {

bool IsPlainComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  // Windows drops trailing dots and blanks, so "..." or ". ." would climb as well.
  if (component.find_first_not_of(". ") == std::string_view::npos) return false;
  for (const char c : component) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("/\\:<>\"|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  // Device names, with any extension and trailing blanks, are refused in any case.
  std::string stem = ovix::AsciiLowerCase(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const std::string_view device : {"con", "prn", "aux", "nul"}) {
    if (stem == device) return false;
  }
  const bool numbered = stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt"));
  return !(numbered && stem[3] >= '1' && stem[3] <= '9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::optional<ovix::TMemberName> split = ovix::SplitMemberName(name);
  if (!split) return 0;
  for (const std::string_view component : split->components) {
    if (!IsPlainComponent(component)) std::abort();
    // Components are pieces of the name itself.
    if (component.data() < name.data() || component.data() + component.size() > name.data() + size)
      std::abort();
  }
  return 0;
}
