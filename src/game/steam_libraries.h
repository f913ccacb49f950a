#pragma once
// Steam's list of its library folders.

#include <string>
#include <string_view>
#include <vector>

namespace ovix {

// The folders a libraryfolders.vdf lists, in file order: the value of every "path" key, and
// in the file's older form every numbered key's plain value; escapes undone. A damaged file
// gives what stands before the damage.
std::vector<std::string> SteamLibraryPaths(std::string_view vdf);

}  // namespace ovix
