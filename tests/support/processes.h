#pragma once
// Ids of other processes, for what is kept while its process runs: one that runs while
// the test does, and one that has ended.

#include <cstdint>

#ifdef _WIN32
#include "os/handle_win32.h"
// Needs windows.h first.
#include <tlhelp32.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ovix::test {

inline std::uint64_t RunningOtherProcessId() {
#ifdef _WIN32
  // Any other process of the system's own, which outlives every test.
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID != 0 && entry.th32ProcessID != GetCurrentProcessId()) {
      return entry.th32ProcessID;
    }
  }
  return 0;
#else
  return static_cast<std::uint64_t>(getppid());
#endif
}

inline std::uint64_t EndedProcessId() {
#ifdef _WIN32
  // Ids are multiples of four handed out from the bottom; the highest is never in use.
  return 0xFFFFFFFCu;
#else
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return static_cast<std::uint64_t>(child);
#endif
}

}  // namespace ovix::test
