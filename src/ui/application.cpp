#include "ui/application.h"

#include <stdexcept>
#include <utility>

#include "os/text.h"

namespace ovix::ui {

enum class StepState { Queued, Done, Dropped };

struct Application::PendingStep {
  std::function<void()> step;
  StepState state = StepState::Queued;
  std::exception_ptr error;
};

Application::Application() : uiThread_(std::this_thread::get_id()) {}

Application::~Application() { Terminate(); }

void Application::Terminate() {
  std::deque<std::shared_ptr<PendingStep>> dropped;
  {
    std::lock_guard lock(mutex_);
    terminated_.store(true, std::memory_order_release);
    dropped.swap(queue_);
    for (auto& pending : dropped) pending->state = StepState::Dropped;
  }
  cv_.notify_all();
}

bool Application::Synchronize(std::function<void()> step) {
  if (IsUiThread()) {
    step();
    return true;
  }
  auto pending = std::make_shared<PendingStep>();
  pending->step = std::move(step);
  {
    std::lock_guard lock(mutex_);
    if (Terminated()) return false;
    queue_.push_back(pending);
  }
  WakeUiThread();
  cv_.notify_all();
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return pending->state != StepState::Queued; });
  if (pending->state == StepState::Dropped) return false;
  if (pending->error) std::rethrow_exception(pending->error);
  return true;
}

void Application::RunPendingSteps() {
  // One at a time, so a step that opens a modal loop lets the next ones run.
  for (;;) {
    std::shared_ptr<PendingStep> pending;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      pending = queue_.front();
      queue_.pop_front();
    }
    std::exception_ptr error;
    try {
      pending->step();
    } catch (...) {
      error = std::current_exception();
    }
    pending->step = nullptr;  // what the step holds goes on this thread, as it was made here
    {
      std::lock_guard lock(mutex_);
      pending->error = std::move(error);
      pending->state = StepState::Done;
      // The waiting worker keeps the last reference, so an error is freed on its thread after
      // it has read it, never here while it may still be reading.
      pending.reset();
    }
    cv_.notify_all();
  }
}

void Application::ServeHandOversUntil(const std::function<bool()>& done) {
  for (;;) {
    RunPendingSteps();
    if (done()) return;
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty(); });
  }
}

void Application::WaitForSteps(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, limit,
               [&] { return !queue_.empty() || Terminated() || std::exchange(woken_, false); });
}

void Application::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  cv_.notify_all();
  WakeUiThread();
}

std::size_t Application::PendingSteps() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void Application::WaitForSteps(const std::function<bool()>& wake) {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return !queue_.empty() || Terminated() || wake(); });
}

bool Application::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds step) {
  while (!done()) {
    if (Terminated()) return false;
    WaitForWork(step);
    ProcessMessages();
  }
  return true;
}

void Application::ShowException(const std::exception_ptr& error) {
  MessageBox(ExceptionText(error, "Unknown error."), TMsgIcon::Warning);
}

}  // namespace ovix::ui
