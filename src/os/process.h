#pragma once
// Processes: by their system identifiers, and by the names of their executables.

#include <cstdint>
#include <string_view>

namespace ovix {

std::uint64_t CurrentProcessId();

// Whether a process with this identifier runs. Also true when the system will not say
// (a process of another user), so that nothing of a running process is taken for left over.
bool IsProcessAlive(std::uint64_t id);

// Whether some running process's executable name matches `exeName` by ExeNameMatches. False
// when the process list cannot be read.
bool IsProcessRunning(std::string_view exeName);

// A process's executable name matches when its file name (the text after the last "\" or ":") or
// the whole of it equals `exeName`, with only the ASCII letters compared without case.
bool ExeNameMatches(std::string_view processExeName, std::string_view exeName);

}  // namespace ovix
