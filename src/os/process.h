#pragma once
// Processes by their system identifiers.

#include <cstdint>

namespace ovix {

std::uint64_t CurrentProcessId();

// Whether a process with this identifier runs. Also true when the system will not say
// (a process of another user), so that nothing of a running process is taken for left over.
bool ProcessIsRunning(std::uint64_t id);

}  // namespace ovix
