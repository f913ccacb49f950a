#pragma once
// The seam between the downloader and the network: one transfer of one address
// into one local file. Tests replace it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace ovix {

// Bytes received so far and the announced total (0 while unknown). Returning
// false abandons the transfer.
using TransferProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

class TTransport {
 public:
  virtual ~TTransport() = default;
  // Writes the resource at url into file (created or truncated). Returns
  // kTransferOk, kTransferAborted when progress asked to stop, or a failure code.
  // Answers are always fetched fresh, never from a cache; an https address is
  // never redirected to plain http.
  virtual std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                              const TransferProgress& progress) = 0;
  // Cuts every running transfer short (they end with kTransferAborted) and makes
  // later ones fail at once; for shutdown, from any thread.
  virtual void AbortAll() = 0;
};

// The platform's transport (libcurl on posix, WinINet on Windows).
std::unique_ptr<TTransport> CreatePlatformTransport();

}  // namespace ovix
