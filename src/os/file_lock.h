#pragma once
// An exclusive hold on a file among processes: one holder at a time, let go when the hold is
// destroyed or its process ends, however it ends (a kill included).

#include <cstdint>
#include <filesystem>
#include <optional>

namespace ovix {

class TFileLock {
 public:
  // The hold on `file` (made when missing). nullopt when another holds it, with `busy` set,
  // or when it cannot be made.
  static std::optional<TFileLock> TryTake(const std::filesystem::path& file, bool& busy);
  ~TFileLock();
  TFileLock(TFileLock&& other) noexcept;
  TFileLock& operator=(TFileLock&& other) noexcept;
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  // -1 is no handle on every system (INVALID_HANDLE_VALUE on Windows).
  static constexpr std::intptr_t kNone = -1;
  explicit TFileLock(std::intptr_t handle) : handle_(handle) {}
  void Release();  // per system
  std::intptr_t handle_;
};

}  // namespace ovix
