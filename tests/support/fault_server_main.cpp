// The fault server as a program of its own, for tests that cannot start it in their own
// process: the Windows tests under Wine reach it on loopback. Prints its address on one
// line, then serves until the process named by --watch has ended (or it is killed).

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/fault_server.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--watch") {
    std::fprintf(stderr, "usage: %s --watch PID\n", argv[0]);
    return 2;
  }
  const pid_t owner = static_cast<pid_t>(std::atoi(argv[2]));
  ovix::test::FaultServer server;
  std::printf("%s\n", server.BaseUrl().c_str());
  std::fflush(stdout);
  // The owner has no way to tell a program it started in the background that it ends.
  while (kill(owner, 0) == 0 || errno == EPERM) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return 0;
}
