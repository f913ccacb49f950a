#pragma once
// Waiting on a condition with a deadline: tests never sleep a fixed time and hope.

#include <chrono>
#include <thread>

namespace ovix::test {

// Polls the condition until it holds (true) or the limit has passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ovix::test
