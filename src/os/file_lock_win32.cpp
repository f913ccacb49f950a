#include "os/file_lock.h"
#include "os/windows_api.h"

namespace ovix {

std::optional<TFileLock> TFileLock::TryTake(const std::filesystem::path& file, bool& busy) {
  busy = false;
  // Opened without sharing: a second holder cannot open it until the first closes it, which
  // the system does when the process ends.
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    busy = GetLastError() == ERROR_SHARING_VIOLATION;
    return std::nullopt;
  }
  return TFileLock(reinterpret_cast<std::intptr_t>(handle));
}

void TFileLock::Release() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

}  // namespace ovix
