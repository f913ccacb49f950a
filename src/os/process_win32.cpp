#include "os/handle_win32.h"
#include "os/process.h"

namespace ovix {

std::uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessIsRunning(std::uint64_t id) {
  if (id > 0xFFFFFFFFu) return false;
  const UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  // An ended process stays openable while anyone holds a handle to it.
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace ovix
