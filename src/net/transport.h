#pragma once
// The seam between the downloader and the network: one transfer of one address
// into one local file. Tests replace it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ovix {

// Bytes received so far and the announced total (0 while unknown). Returning
// false abandons the transfer.
using TransferProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

// Where a transfer may continue a file already partly received, and what the server said.
struct TResumePoint {
  // In: the bytes at the file's start to continue after, and the validator they came with
  // (an ETag or a Last-Modified date, as the server sent it). The server is asked for the
  // rest only if the resource still has that validator; without one the file starts over.
  // With the whole file's size: a continuation must be exactly the rest of it.
  std::uint64_t offset = 0;
  std::string validator;
  std::uint64_t total = 0;
  // Out, set once the file was opened for the body, before its first byte is written: whether
  // a response came, its validator (empty when it has none that names one version of the
  // bytes), whether its body continues the file at offset (else the file was started over),
  // and the whole file's size (0 when not announced).
  bool responded = false;
  std::string responseValidator;
  bool continued = false;
  std::uint64_t responseTotal = 0;
};

// Whether an address answers, and with how many bytes.
struct TAddressProbe {
  std::uint32_t code = 0;             // kTransferOk when the address answers with its file
  std::optional<std::uint64_t> size;  // as announced; none when the server does not say
};

class TTransport {
 public:
  virtual ~TTransport() = default;
  // Writes the resource at url into file (created or truncated). Returns
  // kTransferOk, kTransferAborted when progress asked to stop, or a failure code.
  // Answers are always fetched fresh, never from a cache; an https address is
  // never redirected to plain http.
  virtual std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                              const TransferProgress& progress) = 0;
  // Fetch that may continue the file from point.offset and says what it did in point;
  // progress then counts the whole file. A transport that cannot continue starts over.
  virtual std::uint32_t FetchResuming(const std::string& url, const std::filesystem::path& file,
                                      const TransferProgress& progress, TResumePoint& point) {
    point.responded = false;
    point.continued = false;
    point.responseValidator.clear();
    point.responseTotal = 0;
    return Fetch(url, file, progress);
  }
  // Asks for the address without taking its body (at most a first piece of it, into
  // `scratch`, which is removed). This one stops a fetch at its first progress step with
  // news, which suits a transport that reports steps of the final answer only.
  virtual TAddressProbe Probe(const std::string& url, const std::filesystem::path& scratch);
  // Cuts every running transfer short (they end with kTransferAborted) and makes
  // later ones fail at once; for shutdown, from any thread.
  virtual void AbortAll() = 0;
};

// The platform's transport (libcurl on posix, WinINet on Windows).
std::unique_ptr<TTransport> CreatePlatformTransport();

}  // namespace ovix
