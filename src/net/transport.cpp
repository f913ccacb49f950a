#include "net/transport.h"

#include "net/transfer_codes.h"

namespace ovix {

TAddressProbe TTransport::Probe(const std::string& url, const std::filesystem::path& scratch) {
  TAddressProbe probe;
  bool answered = false;
  probe.code = Fetch(url, scratch, [&](std::uint64_t received, std::uint64_t total) {
    if (total == 0 && received == 0) return true;  // no answer yet
    answered = true;
    if (total > 0) probe.size = total;
    return false;
  });
  // Stopped by the probe itself: the answer came.
  if (probe.code == kTransferAborted && answered) probe.code = kTransferOk;
  std::error_code ignored;
  std::filesystem::remove(scratch, ignored);
  return probe;
}

}  // namespace ovix
