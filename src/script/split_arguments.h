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

// Never fails: a slot the line has no argument for stays empty.
TArguments SplitArguments(std::string_view line);

// The text after the first two arguments, which SplitArguments never reads: words a script
// may add for newer programs (GETFILE's `sha256=`), ignored by older ones.
std::string_view TextAfterArguments(std::string_view line);

}  // namespace ovix
