#pragma once
// The POSIX process probe with its process folder as a parameter, so tests can hand it a
// made-up one.

#include <filesystem>
#include <string_view>

namespace ovix {

// IsProcessRunning over the numbered entries of `procFolder` (normally /proc): each process
// is known by the first word of its command line (a program run under Wine shows its Windows
// path there) and by its kernel name ("comm"). Unreadable entries are skipped; an unreadable
// folder gives false.
bool IsProcessRunningIn(const std::filesystem::path& procFolder, std::string_view exeName);

}  // namespace ovix
