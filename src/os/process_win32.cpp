#include <cwchar>
#include <exception>
#include <iterator>

#include "os/handle_win32.h"
#include "os/process.h"
#include "os/text.h"

// Needs windows.h first.
#include <tlhelp32.h>

namespace ovix {

std::uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

bool IsProcessAlive(std::uint64_t id) {
  if (id > 0xFFFFFFFFu) return false;
  const UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  // An ended process stays openable while anyone holds a handle to it.
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

bool IsProcessRunning(std::string_view exeName) {
  static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32W) == 556);
  try {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      const std::size_t length = wcsnlen(entry.szExeFile, std::size(entry.szExeFile));
      if (ExeNameMatches(Narrow(std::wstring_view(entry.szExeFile, length)), exeName)) {
        return true;
      }
    }
  } catch (const std::exception&) {
    // A walk that fails half-way says nothing runs.
  }
  return false;
}

}  // namespace ovix
