#pragma once
// Questions about the game client and the system. None keeps state, shows anything or throws:
// failure is an empty string or false. Paths are Windows paths in UTF-8 on every platform.

#include <string>
#include <string_view>
#include <vector>

#include "game/pe_version.h"

namespace ovix {

// The long (non-8.3) form of an existing path; empty when the path does not exist or cannot be
// converted.
std::string GetLongPath(std::string_view path);

// The temporary directory in long form, without a trailing "\": callers add the "\" before a
// file name. Empty when the system names none.
std::string GetTempDirectory();

// "major.minor.release" of an executable's file version (the build number is dropped); empty
// for a missing file or one without a version resource.
std::string GetFileVersionString(std::string_view exePath);

// Whether some running process's executable name matches `exeName` by ExeNameMatches. False
// when the process list cannot be read.
bool IsProcessRunning(std::string_view exeName);

// The process's current directory; empty when the system cannot give it (on posix: when no
// drive maps it).
std::string GetCurrentDirectoryPath();

// The roots of the drive letters in use ("C:\", "D:\", ...), in letter order.
std::vector<std::string> LogicalDriveRoots();

// Whether the drive named by the first letter of `drive` ("c", "C:\") holds a readable volume.
// Never lets the system ask the user about a missing medium.
bool IsDriveReady(std::string_view drive);

// Appends to `names` (without clearing it) the names of the sub-directories of `directory`
// that look like game versions (at least two dots, as the mask "*.*.*" has), in the order
// the system lists them. Hidden and system entries (on posix: dot-names) are left out.
// Appends nothing when the directory cannot be listed.
void ListVersionFolders(std::string_view directory, std::vector<std::string>& names);

// The shared rules the platform files apply.

// "1.10.2" for 1.10.2.7: decimal, no leading zeros.
std::string FormatFileVersion(const FileVersion& version);

// A process's executable name matches when its file name (the text after the last "\" or ":") or
// the whole of it equals `exeName`, with only the ASCII letters compared without case.
bool ExeNameMatches(std::string_view processExeName, std::string_view exeName);

}  // namespace ovix
