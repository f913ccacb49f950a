#pragma once
// Waiting on a condition with a deadline: tests never sleep a fixed time and hope.

#include <chrono>
#include <thread>

namespace ovix::test {

struct NothingBetween {
  void operator()() const {}
};

// Polls the condition until it holds (true) or the limit has passed (false), running
// `between` between tries: a UI thread handles its messages there.
template <typename Condition, typename Between = NothingBetween>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit, Between between = {}) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    between();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ovix::test
