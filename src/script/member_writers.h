#pragma once
// A small pool of threads that write an archive's members while the calling thread prepares
// the next ones and reports finished ones in archive order. Members with the same target are
// written one after another, in the order they were queued, by one thread, so the later one
// wins as it would one by one.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace ovix {

// Why a member was skipped; nullopt when it was written. Texts live as long as the program.
using TMemberOutcome = std::optional<std::string_view>;

// What one thread of the pool writes members with; each thread has its own.
class TMemberWorker {
 public:
  virtual ~TMemberWorker() = default;
  virtual TMemberOutcome Write(std::uint64_t index, const std::filesystem::path& target) = 0;
};

class TMemberWriters {
 public:
  using TWorkerMaker = std::function<std::unique_ptr<TMemberWorker>()>;

  // For `count` members, on `threads` threads (at least one), each with a worker of
  // `makeWorker`'s, made on its thread.
  TMemberWriters(std::uint64_t count, int threads, TWorkerMaker makeWorker);
  // Stops the threads once their current members are written; members still queued are
  // left unwritten.
  ~TMemberWriters();
  TMemberWriters(const TMemberWriters&) = delete;
  TMemberWriters& operator=(const TMemberWriters&) = delete;

  // Queues member `index` for `target`; `key` names the target as the system compares names.
  void Write(std::uint64_t index, std::filesystem::path target,
             std::filesystem::path::string_type key);
  // Member `index` is done here, with this outcome, without a file to write.
  void Settle(std::uint64_t index, TMemberOutcome outcome);
  // Waits until no queued member is left to write the target named by `key`.
  void WaitForTarget(const std::filesystem::path::string_type& key);
  // Whether member `index` is done.
  bool Done(std::uint64_t index);
  // The outcome of member `index`, once it is done.
  TMemberOutcome Outcome(std::uint64_t index);

 private:
  struct TJob {
    std::uint64_t index;
    std::filesystem::path target;
  };
  // The queued members of one target.
  struct TChain {
    std::filesystem::path::string_type key;
    std::deque<TJob> jobs;
  };
  enum class TState : unsigned char { Pending, Written, Skipped };

  void Run(const TWorkerMaker& makeWorker);
  void Finish(std::uint64_t index, TMemberOutcome outcome);

  std::mutex mutex_;
  std::condition_variable work_;      // a chain is ready, or the pool stops
  std::condition_variable finished_;  // a member is done
  std::deque<std::shared_ptr<TChain>> ready_;
  std::unordered_map<std::filesystem::path::string_type, std::shared_ptr<TChain>> chains_;
  std::vector<TState> states_;
  std::vector<std::string_view> reasons_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace ovix
