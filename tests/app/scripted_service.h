#pragma once
// A network for window tests: scripted answers per address.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "net/transport.h"

namespace ovix::testing {

// Answers each address with a scripted body, or fails it; counts the requests.
class ScriptedService final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                      const TransferProgress& progress) override {
    std::string body;
    {
      std::lock_guard lock(mutex_);
      ++requests_[url];
      const auto found = answers_.find(url);
      if (found == answers_.end()) return kTransferNotFound;
      body = found->second;
    }
    if (!progress(body.size(), body.size())) return kTransferAborted;
    std::ofstream(file, std::ios::binary) << body;
    return kTransferOk;
  }
  void AbortAll() override {}
  // A request to the update service.
  void Answer(std::string_view request, std::string body) {
    AnswerAddress(UpdateServiceBaseUrl() + std::string(request), std::move(body));
  }
  void AnswerAddress(const std::string& url, std::string body) {
    std::lock_guard lock(mutex_);
    answers_[url] = std::move(body);
  }
  int Requests(std::string_view request) {
    std::lock_guard lock(mutex_);
    return requests_[UpdateServiceBaseUrl() + std::string(request)];
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> answers_;
  std::map<std::string, int> requests_;
};

}  // namespace ovix::testing
