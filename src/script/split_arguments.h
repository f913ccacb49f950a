#pragma once
// Splits a line into its first two blank-separated arguments; an argument in
// double quotes may hold blanks.

#include <array>
#include <string>
#include <string_view>

namespace ovix {

using TArguments = std::array<std::string, 2>;

// Without the blanks and control characters (U+0000 to U+0020) at either end.
std::string_view TrimBlanksAndControls(std::string_view text);

// Never fails: a slot the line has no argument for stays empty. `after`, when given, gets
// the text after the two arguments: words a script may add for newer programs (GETFILE's
// `sha256=`), which older ones never read.
TArguments SplitArguments(std::string_view line, std::string_view* after = nullptr);

}  // namespace ovix
