#pragma once
// A network for window tests: scripted answers per address.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "ui/application.h"

namespace ovix::testing {

// Answers each address with a scripted body, or fails it; counts the requests.
class ScriptedService final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                      const TransferProgress& progress) override {
    std::string body;
    std::function<void()> during;
    {
      std::lock_guard lock(mutex_);
      ++requests_[url];
      const auto found = answers_.find(url);
      if (found == answers_.end()) return kTransferNotFound;
      body = found->second;
      if (const auto hook = during_.find(url); hook != during_.end()) during = hook->second;
    }
    if (during) during();
    if (!progress(body.size(), body.size())) return kTransferAborted;
    std::ofstream(file, std::ios::binary) << body;
    return kTransferOk;
  }
  void AbortAll() override {}
  // A request to the update service.
  void Answer(std::string_view request, std::string body) {
    AnswerAddress(DefaultUpdateServiceUrl() + std::string(request), std::move(body));
  }
  void AnswerAddress(const std::string& url, std::string body) {
    std::lock_guard lock(mutex_);
    answers_[url] = std::move(body);
  }
  // Runs `step` on the transfer's worker thread while `url` is being fetched.
  void During(const std::string& url, std::function<void()> step) {
    std::lock_guard lock(mutex_);
    during_[url] = std::move(step);
  }
  int Requests(std::string_view request) {
    std::lock_guard lock(mutex_);
    return requests_[DefaultUpdateServiceUrl() + std::string(request)];
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> answers_;
  std::map<std::string, int> requests_;
  std::map<std::string, std::function<void()>> during_;
};

// Stands for a player who closes the window while a download is under way: the
// transfer then goes on until the downloader gives it up.
class ClosingService final : public TTransport {
 public:
  explicit ClosingService(ui::Application& app) : app_(app) {}
  std::uint32_t Fetch(const std::string&, const std::filesystem::path&,
                      const TransferProgress& progress) override {
    app_.Terminate();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (progress(1, 100)) {
      if (std::chrono::steady_clock::now() > deadline) return kTransferOk;
      std::this_thread::yield();
    }
    return kTransferAborted;
  }
  void AbortAll() override {}

 private:
  ui::Application& app_;
};

}  // namespace ovix::testing
