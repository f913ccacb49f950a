#include "os/process_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <system_error>

#include "os/process.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Reads a /proc file up to its first NUL or newline, at most `limit` bytes; a command line
// can be far longer than the word we want.
std::string ReadFirstWord(const fs::path& file, std::size_t limit, char stop) {
  std::string text;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    const char* begin = buffer;
    const char* end = buffer + got;
    const char* found = std::find(begin, end, stop);
    text.append(begin, found);
    if (found != end) break;
  }
  ::close(fd);
  if (text.size() > limit) text.resize(limit);
  return text;
}

bool IsProcessFolder(const std::string& name) {
  return !name.empty() &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(getpid()); }

bool IsProcessAlive(std::uint64_t id) {
  const auto pid = static_cast<pid_t>(id);
  // Ids the system cannot hold, and those that name process groups, name no process.
  if (pid <= 0 || static_cast<std::uint64_t>(pid) != id) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

bool IsProcessRunningIn(const fs::path& procFolder, std::string_view exeName) {
  // Windows paths are at most 32767 UTF-16 units; three bytes each in UTF-8 at worst.
  constexpr std::size_t kCommandLimit = 3 * 32768;
  try {
    std::error_code error;
    for (fs::directory_iterator it(procFolder, error), end; !error && it != end;
         it.increment(error)) {
      if (!IsProcessFolder(it->path().filename().string())) continue;
      // Kernel threads and exiting processes have an empty command line; skip, never match.
      for (const auto& [file, stop] : {std::pair{"cmdline", '\0'}, std::pair{"comm", '\n'}}) {
        std::string name = ReadFirstWord(it->path() / file, kCommandLimit, stop);
        // A client started by its path on this system, as some launchers start it.
        if (const std::size_t slash = name.rfind('/'); slash != std::string::npos)
          name.erase(0, slash + 1);
        if (!name.empty() && ExeNameMatches(name, exeName)) return true;
      }
    }
  } catch (const std::exception&) {
    // A process list that cannot be walked says nothing runs, as on Windows.
  }
  return false;
}

bool IsProcessRunning(std::string_view exeName) { return IsProcessRunningIn("/proc", exeName); }

}  // namespace ovix
