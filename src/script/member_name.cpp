#include "script/member_name.h"

#include <algorithm>
#include <array>

#include "os/text.h"

namespace ovix {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// ":" is refused too: it names a drive or an alternate data stream.
bool IsForbidden(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>\"|?*:").find(c) != std::string_view::npos;
}

std::string_view TrimTrailing(std::string_view text, std::string_view characters) {
  const std::size_t end = text.find_last_not_of(characters);
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// Windows opens a device for these names whatever the extension and trailing blanks or dots.
bool IsDeviceName(std::string_view component) {
  // The superscript digits count as well: Windows reads them as 1 to 3.
  static constexpr std::array<std::string_view, 30> kDevices = {
      "CON",         "PRN",         "AUX",         "NUL",         "COM1",        "COM2",
      "COM3",        "COM4",        "COM5",        "COM6",        "COM7",        "COM8",
      "COM9",        "LPT1",        "LPT2",        "LPT3",        "LPT4",        "LPT5",
      "LPT6",        "LPT7",        "LPT8",        "LPT9",        "CONIN$",      "CONOUT$",
      "COM\xC2\xB9", "COM\xC2\xB2", "COM\xC2\xB3", "LPT\xC2\xB9", "LPT\xC2\xB2", "LPT\xC2\xB3"};
  std::string_view stem = TrimTrailing(component, ". ");
  stem = TrimTrailing(stem.substr(0, stem.find('.')), " ");
  return std::any_of(kDevices.begin(), kDevices.end(), [stem](std::string_view device) {
    return EqualsIgnoringAsciiCase(stem, device);
  });
}

}  // namespace

std::optional<TMemberName> SplitMemberName(std::string_view name) {
  if (name.empty() || IsSeparator(name.front())) return std::nullopt;
  if (std::any_of(name.begin(), name.end(), IsForbidden)) return std::nullopt;
  TMemberName result;
  result.directory = IsSeparator(name.back());
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    // "..", "...", ". " and the like: Windows strips trailing dots and blanks.
    if (component.find_first_not_of(". ") == std::string_view::npos) return std::nullopt;
    if (IsDeviceName(component)) return std::nullopt;
    result.components.push_back(component);
  }
  return result;
}

}  // namespace ovix
