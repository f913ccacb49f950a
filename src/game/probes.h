#pragma once
// Questions about the game client and its folders. None keeps state, shows anything or throws:
// failure is an empty string. Paths are Windows paths in UTF-8 on every platform.

#include <string>
#include <string_view>
#include <vector>

#include "game/pe_version.h"

namespace ovix {

// "major.minor.release" of an executable's file version (the build number is dropped); empty
// for a missing file or one without a version resource.
std::string GetFileVersionString(std::string_view exePath);

// Appends to `names` (without clearing it) the names of the sub-directories of `directory`
// that look like game versions (at least two dots, as the mask "*.*.*" has), in the order
// the system lists them. Hidden and system entries (on posix: dot-names) are left out.
// Appends nothing when the directory cannot be listed.
void ListVersionFolders(std::string_view directory, std::vector<std::string>& names);

// "1.10.2" for 1.10.2.7: decimal, no leading zeros.
std::string FormatFileVersion(const FileVersion& version);

}  // namespace ovix
