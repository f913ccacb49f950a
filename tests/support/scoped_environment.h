#pragma once
// Environment changes that tests undo on the way out (posix).

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>

namespace ovix {

// Sets or clears one environment variable and puts the old value back on destruction.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::string name) : name_(std::move(name)) {
    if (const char* value = getenv(name_.c_str())) saved_ = value;
  }
  ~ScopedEnvironment() {
    if (saved_) {
      setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  void Set(const std::string& value) { setenv(name_.c_str(), value.c_str(), 1); }
  void Unset() { unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace ovix
