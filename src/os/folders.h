#pragma once
// The system's folders and drives. None keeps state, shows anything or throws: failure is an
// empty string or false. Paths are Windows paths in UTF-8 on every platform.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

// The long (non-8.3) form of an existing path; empty when the path does not exist or cannot be
// converted.
std::string GetLongPath(std::string_view path);

// The temporary directory in long form, without a trailing "\": callers add the "\" before a
// file name. Empty when the system names none.
std::string GetTempDirectory();

// The temporary directory as this system names it, for the program's own scratch files; on
// posix the folder of the user's own that GetTempDirectory names, also where no drive maps it.
// Empty when there is none.
std::filesystem::path LocalTemporaryFolder();

// The process's current directory; empty when the system cannot give it (on posix: when no
// drive maps it).
std::string GetCurrentDirectoryPath();

// The roots of the drive letters in use ("C:\", "D:\", ...), in letter order.
std::vector<std::string> LogicalDriveRoots();

// Whether the drive named by the first letter of `drive` ("c", "C:\") holds a readable volume.
// Never lets the system ask the user about a missing medium.
bool IsDriveReady(std::string_view drive);

}  // namespace ovix
