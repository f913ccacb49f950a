// Any line splits without fault, and the pieces keep to what the splitter promises.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "script/split_arguments.h"

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::string_view trimmed = ovix::TrimBlanksAndControls(line);
  if (!trimmed.empty() && (IsBlankOrControl(trimmed.front()) || IsBlankOrControl(trimmed.back()))) {
    std::abort();
  }
  // Trimming only drops characters at the ends: what is left lies inside the line.
  if (!trimmed.empty() && (trimmed.data() < line.data() ||
                           trimmed.data() + trimmed.size() > line.data() + line.size())) {
    std::abort();
  }
  const ovix::TArguments arguments = ovix::SplitArguments(line);
  // An argument is made of the line's characters; it can never outgrow it.
  if (arguments[0].size() + arguments[1].size() > line.size()) std::abort();
  for (const std::string& argument : arguments) {
    if (!argument.empty() &&
        (IsBlankOrControl(argument.front()) || IsBlankOrControl(argument.back())))
      std::abort();
  }
  // A line with nothing but blanks has no arguments.
  if (trimmed.empty() && (!arguments[0].empty() || !arguments[1].empty())) std::abort();
  return 0;
}
