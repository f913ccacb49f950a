#include "script/member_writers.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

namespace ovix {

TMemberWriters::TMemberWriters(std::uint64_t count, int threads, TWorkerMaker makeWorker)
    : states_(count, TState::Pending), reasons_(count) {
  for (int i = 0; i < std::max(threads, 1); ++i) {
    try {
      threads_.emplace_back([this, makeWorker] { Run(makeWorker); });
    } catch (const std::system_error&) {
      // Fewer writers write the same members; without any, nothing is started to wait for.
      if (threads_.empty()) throw;
      break;
    }
  }
}

TMemberWriters::~TMemberWriters() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TMemberWriters::Write(std::uint64_t index, std::filesystem::path target,
                           std::filesystem::path::string_type key) {
  {
    const std::lock_guard lock(mutex_);
    auto [it, added] = chains_.try_emplace(key);
    if (!added) {
      // Its thread takes it after the members queued before it.
      it->second->jobs.push_back({index, std::move(target)});
      return;
    }
    it->second = std::make_shared<TChain>(TChain{std::move(key), {}});
    it->second->jobs.push_back({index, std::move(target)});
    ready_.push_back(it->second);
  }
  work_.notify_one();
}

void TMemberWriters::Settle(std::uint64_t index, TMemberOutcome outcome) {
  const std::lock_guard lock(mutex_);
  Finish(index, outcome);
}

void TMemberWriters::WaitForTarget(const std::filesystem::path::string_type& key) {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return !chains_.contains(key); });
}

bool TMemberWriters::Done(std::uint64_t index) {
  const std::lock_guard lock(mutex_);
  return states_[index] != TState::Pending;
}

TMemberOutcome TMemberWriters::Outcome(std::uint64_t index) {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return states_[index] != TState::Pending; });
  if (states_[index] == TState::Written) return std::nullopt;
  return reasons_[index];
}

void TMemberWriters::Finish(std::uint64_t index, TMemberOutcome outcome) {
  states_[index] = outcome ? TState::Skipped : TState::Written;
  if (outcome) reasons_[index] = *outcome;
}

void TMemberWriters::Run(const TWorkerMaker& makeWorker) {
  std::unique_ptr<TMemberWorker> worker;
  try {
    worker = makeWorker();
  } catch (const std::exception&) {
    // Its members are told as not written.
  }
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
    if (stopping_) return;
    const std::shared_ptr<TChain> chain = std::move(ready_.front());
    ready_.pop_front();
    while (!chain->jobs.empty() && !stopping_) {
      const TJob job = std::move(chain->jobs.front());
      chain->jobs.pop_front();
      lock.unlock();
      TMemberOutcome outcome;
      outcome = "the file cannot be written";
      try {
        if (worker) outcome = worker->Write(job.index, job.target);
      } catch (const std::exception&) {
        // told as not written
      }
      lock.lock();
      Finish(job.index, outcome);
      finished_.notify_all();
    }
    chains_.erase(chain->key);
    finished_.notify_all();
  }
}

}  // namespace ovix
