#include "os/file_lock.h"

#include <utility>

namespace ovix {

TFileLock::~TFileLock() { Release(); }

TFileLock::TFileLock(TFileLock&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

TFileLock& TFileLock::operator=(TFileLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

}  // namespace ovix
