#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "os/process.h"

namespace ovix {

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(getpid()); }

bool ProcessIsRunning(std::uint64_t id) {
  const auto pid = static_cast<pid_t>(id);
  // Ids the system cannot hold, and those that name process groups, name no process.
  if (pid <= 0 || static_cast<std::uint64_t>(pid) != id) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace ovix
