// Stands in for a running game client: built under the client's file name, it lives until
// the process whose id it is given ends, so it cannot outlive a test that crashed.

#include <cstdlib>

#include "os/windows_api.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const HANDLE watched =
      OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)));
  if (watched == nullptr) return 1;
  WaitForSingleObject(watched, INFINITE);
  CloseHandle(watched);
  return 0;
}
