#pragma once
// A kernel handle closed when it goes, for the calls that give one.

#include "os/windows_api.h"

namespace ovix {

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~UniqueHandle() {
    if (valid()) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  // Calls report failure either way, depending on the call.
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace ovix
