#pragma once
// An in-process HTTP server on loopback that misbehaves on request, for the
// download tests. One thread serves every connection; the port is chosen by the OS.
//
// Paths (query values are optional; N defaults to BodySize()):
//   /ok?size=N                  200, Content-Length N, N pattern bytes
//   /not-found                  404 with a short text body (so is any unknown path)
//   /status?code=C              status C with a short text body
//   /truncated?size=N&sent=M    announces N, sends M (default N/2), closes
//   /stall?size=N&sent=M        announces N, sends M (default N/2), then sends nothing
//                               until the client hangs up or the server stops
//   /endless?piece=P&pause_ms=T close-delimited body that goes on (P bytes every T ms,
//                               default 16384 and 10) until the client hangs up; after
//                               1 GiB it falls silent instead, so a runaway client
//                               cannot fill the disk
//   /no-size?size=N             no Content-Length; N bytes, then the connection closes
//   /slow?size=N&piece=P&pause_ms=T  Content-Length N, sent in pieces of P bytes
//                               (default N/20) with T ms pauses (default 25)
//   /redirect?to=URL            302 to URL: everything after "to=", taken verbatim
//   /redirect-loop              302 to itself
//   /ranged?size=N&cut=A,B&validator=etag|date|weak|none&ranges=0|1&changes=0|1&short=0|1
//          &coding=C
//                               a file that can be continued: honours "Range: bytes=F-"
//                               (206, or 416 beyond the end) when ranges is 1 and an
//                               If-Range matches its ETag "v<version>" or Last-Modified
//                               date; closes each response at the first cut point past
//                               its start. With changes=1 each request sees a new version
//                               (new validator and bytes, the pattern from
//                               (version - 1) * 1000003); else version 1. piece=P and
//                               pause_ms=T pace it as /slow does (default: at once).
//                               weak: a weak ETag and a date. short=1: a 206's range ends
//                               one byte early; coding=C: a 206 says Content-Encoding C.
// Every body is a slice of the pattern from its start (PatternBytes), so a downloaded
// file can be checked byte for byte. Every response closes its connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/pattern_bytes.h"

namespace ovix::test {

class FaultServer {
 public:
  explicit FaultServer(std::size_t bodySize = 64 * 1024);
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  std::uint16_t Port() const;
  std::string BaseUrl() const;                     // "http://127.0.0.1:PORT"
  std::string Url(std::string_view target) const;  // BaseUrl() + target, e.g. "/ok"
  std::size_t BodySize() const;

  // From now on answers `path` (query ignored) with 200 and this body, for tests that
  // need particular content (a list answer, a text with a byte-order mark, ...).
  void Serve(const std::string& path, std::string body,
             std::string contentType = "application/octet-stream");

  // Request targets (path and query as sent) in arrival order.
  std::vector<std::string> Requests() const;
  // The Range header of each request ("" without one), in arrival order.
  std::vector<std::string> RangesAsked() const;
  // Connections accepted and not yet closed: drops once a client has hung up.
  std::size_t OpenConnections() const;

  // Closes the listener and every connection and joins the thread. Idempotent; the
  // destructor calls it.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A loopback port on which connections are refused. The port stays bound (never
// listening) for the rest of the process, so no other server can take it meanwhile.
std::uint16_t RefusingPort();

}  // namespace ovix::test
