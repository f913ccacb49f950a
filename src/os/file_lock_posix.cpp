#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "os/file_lock.h"

namespace ovix {

std::optional<TFileLock> TFileLock::TryTake(const std::filesystem::path& file, bool& busy) {
  busy = false;
  const int handle = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (handle < 0) return std::nullopt;
  // A lock of the open file itself, which the system drops with the process.
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    busy = errno == EWOULDBLOCK;
    close(handle);
    return std::nullopt;
  }
  return TFileLock(handle);
}

void TFileLock::Release() {
  if (handle_ != kNone) close(static_cast<int>(handle_));
  handle_ = kNone;
}

}  // namespace ovix
