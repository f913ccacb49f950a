#pragma once
// Which archive member names may be written below a destination directory.

#include <optional>
#include <string_view>
#include <vector>

namespace ovix {

// A member name taken apart: the components of its path below the destination.
struct TMemberName {
  std::vector<std::string_view> components;  // views into the name; none empty or "."
  bool directory = false;                    // the name ends in a separator
};

// Splits a stored member name at "/" and "\". nullopt for a name that could reach
// outside the destination or that Windows would take for something other than a
// plain file: absolute, drive, UNC, a ":" anywhere, a component of dots and blanks
// other than ".", a device name (CON, NUL.txt, COM1 ...) or a forbidden character.
std::optional<TMemberName> SplitMemberName(std::string_view name);

}  // namespace ovix
