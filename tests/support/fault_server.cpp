#include "support/fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace ovix::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxRequestHead = 64 * 1024;
constexpr std::size_t kChunk = 64 * 1024;
// Bytes one connection may send before the others get their turn.
constexpr std::size_t kTurnBytes = 256 * 1024;
// Keeps a client that never hangs up from filling the disk with an endless body.
constexpr std::size_t kEndlessGuard = std::size_t{1} << 30;
constexpr milliseconds kDrainLimit{5000};
constexpr std::chrono::seconds kStopLimit{10};
// Where the pattern of each new version of /ranged begins.
constexpr std::size_t kVersionStride = 1000003;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("fault server: " + what + ": " + std::strerror(errno));
}

// The value of a request header (any case of its name), or empty.
std::string_view HeaderValue(std::string_view request, std::string_view name) {
  for (std::size_t at = request.find("\r\n"); at != std::string_view::npos;) {
    const std::size_t start = at + 2;
    at = request.find("\r\n", start);
    const std::string_view line = request.substr(start, at - start);
    if (line.size() <= name.size() || line[name.size()] != ':') continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
      same = same && std::tolower(static_cast<unsigned char>(line[i])) == name[i];
    }
    if (!same) continue;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return value;
  }
  return {};
}

std::optional<std::string_view> QueryValue(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    const auto amp = query.find('&');
    const auto pair = query.substr(0, amp);
    if (pair.size() > key.size() && pair.substr(0, key.size()) == key && pair[key.size()] == '=') {
      return pair.substr(key.size() + 1);
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

// A missing value gives the fallback, a malformed one nothing.
std::optional<std::size_t> Number(std::string_view query, std::string_view key,
                                  std::size_t fallback) {
  const auto text = QueryValue(query, key);
  if (!text) return fallback;
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

std::string_view Reason(int code) {
  switch (code) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

std::string Head(int code, std::optional<std::size_t> length, std::string_view type,
                 std::string_view extra = {}) {
  std::string head = "HTTP/1.1 " + std::to_string(code) + " " + std::string(Reason(code)) +
                     "\r\nContent-Type: " + std::string(type) + "\r\n";
  if (length) head += "Content-Length: " + std::to_string(*length) + "\r\n";
  head += extra;
  head += "Connection: close\r\n\r\n";
  return head;
}

struct Connection {
  enum class Phase { kRequest, kRespond, kHold, kDrain };
  int fd = -1;
  Phase phase = Phase::kRequest;
  bool head = false;  // a HEAD request: no body
  std::string in;
  std::string out;
  std::size_t outSent = 0;
  // Pattern bytes [next, end) still to send, `piece` at a time with `pause` between
  // pieces (piece 0: as fast as the client takes them).
  std::size_t next = 0;
  std::size_t end = 0;
  std::size_t patternBase = 0;  // the body is the pattern from here (another version)
  std::size_t piece = 0;
  milliseconds pause{0};
  Clock::time_point resumeAt{};
  bool holdAfter = false;  // stay open and silent once everything is sent
  Clock::time_point drainUntil{};
};

}  // namespace

struct FaultServer::Impl {
  std::size_t bodySize = 0;
  int listener = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::uint16_t port = 0;
  std::thread thread;
  std::future<void> ended;
  std::atomic<std::size_t> open{0};
  mutable std::mutex mutex;
  std::vector<std::string> requests;                                  // guarded by mutex
  std::vector<std::string> ranges;                                    // guarded by mutex
  std::size_t rangedServed = 0;                                       // guarded by mutex
  std::map<std::string, std::pair<std::string, std::string>> served;  // path -> type, body
  std::list<Connection> connections;                                  // server thread only

  void Run();
  void Accept();
  bool Serve(Connection& c, short events, Clock::time_point now);
  bool Send(Connection& c, Clock::time_point now);
  void Plan(Connection& c);
  void PlanRanged(Connection& c, std::string_view query, std::size_t size);
  void Reply(Connection& c, int code, std::string_view body, std::string_view type = "text/plain",
             std::string_view extra = {});
};

void FaultServer::Impl::Run() {
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({wakeRead, POLLIN, 0});
    fds.push_back({listener, POLLIN, 0});
    const auto now = Clock::now();
    std::optional<Clock::time_point> wakeAt;
    auto wakeBy = [&](Clock::time_point t) { wakeAt = wakeAt ? std::min(*wakeAt, t) : t; };
    for (auto& c : connections) {
      short events = POLLIN;  // the request, or the client hanging up
      if (c.phase == Connection::Phase::kRespond) {
        if (c.outSent < c.out.size() || c.resumeAt <= now) {
          events |= POLLOUT;
        } else {
          wakeBy(c.resumeAt);
        }
      } else if (c.phase == Connection::Phase::kDrain) {
        wakeBy(c.drainUntil);
      }
      fds.push_back({c.fd, events, 0});
    }
    int timeout = -1;
    if (wakeAt) {
      const auto wait = std::chrono::ceil<milliseconds>(*wakeAt - now).count();
      timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      std::perror("fault server: poll");
      return;
    }
    if (fds[0].revents != 0) return;  // Stop()
    const auto later = Clock::now();
    std::size_t i = 2;
    for (auto it = connections.begin(); it != connections.end(); ++i) {
      if (Serve(*it, fds[i].revents, later)) {
        ++it;
      } else {
        close(it->fd);
        --open;
        it = connections.erase(it);
      }
    }
    if (fds[1].revents & POLLIN) Accept();
  }
}

void FaultServer::Impl::Accept() {
  for (;;) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN: none left; anything else: the client already gave up
    Connection c;
    c.fd = fd;
    connections.push_back(std::move(c));
    ++open;
  }
}

// Returns false once the connection is to be closed.
bool FaultServer::Impl::Serve(Connection& c, short events, Clock::time_point now) {
  if (events & (POLLERR | POLLNVAL)) return false;
  if (events & (POLLIN | POLLHUP)) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
      if (n == 0) return false;  // the client hung up
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        return false;
      }
      if (c.phase == Connection::Phase::kRequest) c.in.append(buffer, static_cast<std::size_t>(n));
    }
    if (c.phase == Connection::Phase::kRequest) {
      if (c.in.find("\r\n\r\n") != std::string::npos) {
        Plan(c);
      } else if (c.in.size() > kMaxRequestHead) {
        Reply(c, 431, "request head too large\n");
      }
    }
  }
  if (c.phase == Connection::Phase::kDrain && now >= c.drainUntil) return false;
  if (c.phase == Connection::Phase::kRespond) return Send(c, now);
  return true;
}

bool FaultServer::Impl::Send(Connection& c, Clock::time_point now) {
  std::size_t sentThisTurn = 0;
  while (sentThisTurn < kTurnBytes) {
    if (c.outSent == c.out.size()) {
      c.out.clear();
      c.outSent = 0;
      if (c.next < c.end) {
        std::size_t n = std::min(kChunk, c.end - c.next);
        if (c.piece > 0) {
          if (now < c.resumeAt) return true;
          n = std::min(c.piece, c.end - c.next);
          c.resumeAt = now + c.pause;
        }
        c.out = PatternBytes(n, c.patternBase + c.next);
        c.next += n;
      } else if (c.holdAfter) {
        c.phase = Connection::Phase::kHold;
        return true;
      } else {
        // Half-close and read until the client closes: closing with unread input
        // would reset the connection and could destroy the end of the response.
        shutdown(c.fd, SHUT_WR);
        c.phase = Connection::Phase::kDrain;
        c.drainUntil = now + kDrainLimit;
        return true;
      }
    }
    const ssize_t n = send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    c.outSent += static_cast<std::size_t>(n);
    sentThisTurn += static_cast<std::size_t>(n);
  }
  return true;
}

void FaultServer::Impl::Reply(Connection& c, int code, std::string_view body, std::string_view type,
                              std::string_view extra) {
  c.out = Head(code, body.size(), type, extra);
  if (!c.head) c.out += body;
  c.phase = Connection::Phase::kRespond;
}

void FaultServer::Impl::Plan(Connection& c) {
  const std::string_view request(c.in);
  const auto line = request.substr(0, request.find("\r\n"));
  const auto space1 = line.find(' ');
  const auto space2 = line.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
  if (space1 == std::string_view::npos || space2 == std::string_view::npos) {
    Reply(c, 400, "malformed request line\n");
    return;
  }
  c.head = line.substr(0, space1) == "HEAD";
  const std::string target(line.substr(space1 + 1, space2 - space1 - 1));
  const auto question = target.find('?');
  const std::string path = target.substr(0, question);
  const std::string_view query = question == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(target).substr(question + 1);
  {
    std::lock_guard lock(mutex);
    requests.push_back(target);
    ranges.push_back(std::string(HeaderValue(request, "range")));
    if (const auto found = served.find(path); found != served.end()) {
      const auto [type, body] = found->second;
      Reply(c, 200, body, type);
      return;
    }
  }

  const auto size = Number(query, "size", bodySize);
  const auto bad = [&](std::string_view what) {
    Reply(c, 400, "bad query value: " + std::string(what) + "\n");
  };
  if (!size) return bad("size");
  // Pattern bodies: the head now, then the bytes [0, end) as Send generates them.
  const auto stream = [&](std::optional<std::size_t> announced, std::size_t end) {
    c.out = Head(200, announced, "application/octet-stream");
    c.end = c.head ? 0 : end;
    c.phase = Connection::Phase::kRespond;
  };
  const auto paced = [&](std::size_t pieceFallback, std::size_t pauseFallback) {
    const auto piece = Number(query, "piece", pieceFallback);
    const auto pause = Number(query, "pause_ms", pauseFallback);
    if (!piece || *piece == 0) {
      bad("piece");
      return false;
    }
    if (!pause) {
      bad("pause_ms");
      return false;
    }
    c.piece = *piece;
    c.pause = milliseconds(*pause);
    return true;
  };

  if (path == "/ranged") {
    PlanRanged(c, query, *size);
  } else if (path == "/ok") {
    stream(*size, *size);
  } else if (path == "/truncated" || path == "/stall") {
    const auto sent = Number(query, "sent", *size / 2);
    if (!sent || *sent >= *size) return bad("sent (must be below size)");
    stream(*size, *sent);
    c.holdAfter = path == "/stall";
  } else if (path == "/endless") {
    if (!paced(16 * 1024, 10)) return;
    stream(std::nullopt, kEndlessGuard);
    c.holdAfter = true;
  } else if (path == "/no-size") {
    stream(std::nullopt, *size);
  } else if (path == "/slow") {
    if (!paced(std::max<std::size_t>(1, *size / 20), 25)) return;
    stream(*size, *size);
  } else if (path == "/redirect") {
    if (query.substr(0, 3) != "to=" || query.size() == 3) return bad("to");
    Reply(c, 302, "redirected\n", "text/plain",
          "Location: " + std::string(query.substr(3)) + "\r\n");
  } else if (path == "/redirect-loop") {
    Reply(c, 302, "redirected\n", "text/plain",
          "Location: http://127.0.0.1:" + std::to_string(port) + "/redirect-loop\r\n");
  } else if (path == "/status") {
    const auto code = Number(query, "code", 500);
    if (!code || *code < 100 || *code > 999) return bad("code");
    Reply(c, static_cast<int>(*code), "status " + std::to_string(*code) + "\n");
  } else {
    Reply(c, 404, "not found\n");
  }
}

void FaultServer::Impl::PlanRanged(Connection& c, std::string_view query, std::size_t size) {
  const std::string_view request(c.in);
  const std::string_view validator = QueryValue(query, "validator").value_or("etag");
  const auto honoursRanges = Number(query, "ranges", 1);
  const auto changes = Number(query, "changes", 0);
  const auto shortRange = Number(query, "short", 0);
  const std::string_view coding = QueryValue(query, "coding").value_or("");
  if (!honoursRanges || !changes || !shortRange ||
      (validator != "etag" && validator != "date" && validator != "none" && validator != "weak")) {
    return Reply(c, 400, "bad query value\n");
  }
  std::size_t version = 1;
  if (*changes != 0) {
    std::lock_guard lock(mutex);
    version = ++rangedServed;
  }
  std::string tag, extra;
  if (validator == "etag") {
    tag = "\"v" + std::to_string(version) + "\"";
    extra = "ETag: " + tag + "\r\n";
  } else if (validator == "date") {
    tag = "Tue, " + std::to_string(10 + version % 18) + " Nov 2026 10:00:00 GMT";
    extra = "Last-Modified: " + tag + "\r\n";
  } else if (validator == "weak") {
    // A weak ETag beside a date: neither may stand in an If-Range.
    tag = "W/\"v" + std::to_string(version) + "\"";
    extra = "ETag: " + tag + "\r\nLast-Modified: Tue, 10 Nov 2026 10:00:00 GMT\r\n";
  }
  // The first byte asked for, when the range may be given: "bytes=FIRST-" only.
  std::size_t first = 0;
  const std::string_view range = HeaderValue(request, "range");
  const std::string_view ifRange = HeaderValue(request, "if-range");
  if (*honoursRanges != 0 && range.starts_with("bytes=") && range.ends_with("-") &&
      (ifRange.empty() || ifRange == tag)) {
    const std::string_view digits = range.substr(6, range.size() - 7);
    std::from_chars(digits.data(), digits.data() + digits.size(), first);
    if (first >= size) {
      return Reply(c, 416, "", "text/plain",
                   "Content-Range: bytes */" + std::to_string(size) + "\r\n");
    }
  }
  if (*honoursRanges != 0) extra += "Accept-Ranges: bytes\r\n";
  // A range one byte short of the rest, with a content coding it was not sent in, if asked.
  std::size_t last = size - 1;
  if (first > 0) {
    if (*shortRange != 0) --last;
    extra += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
             std::to_string(size) + "\r\n";
    if (!coding.empty()) extra += "Content-Encoding: " + std::string(coding) + "\r\n";
  }
  // Cut at the first cut point after the start, if any.
  std::size_t end = last + 1;
  for (std::string_view cuts = QueryValue(query, "cut").value_or(""); !cuts.empty();) {
    const std::string_view cut = cuts.substr(0, cuts.find(','));
    cuts.remove_prefix(std::min(cuts.size(), cut.size() + 1));
    std::size_t at = 0;
    std::from_chars(cut.data(), cut.data() + cut.size(), at);
    if (at > first && at < end) end = at;
  }
  const auto piece = Number(query, "piece", 0);
  const auto pause = Number(query, "pause_ms", 0);
  if (!piece || !pause) return Reply(c, 400, "bad query value\n");
  c.piece = *piece;
  c.pause = milliseconds(*pause);
  c.out = Head(first > 0 ? 206 : 200, last + 1 - first, "application/octet-stream", extra);
  c.patternBase = (version - 1) * kVersionStride;
  c.next = first;
  c.end = c.head ? first : end;
  c.phase = Connection::Phase::kRespond;
}

FaultServer::FaultServer(std::size_t bodySize) : impl_(std::make_unique<Impl>()) {
  impl_->bodySize = bodySize;
  impl_->listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (impl_->listener < 0) Fail("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int fds[2];
  if (bind(impl_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(impl_->listener, 64) != 0 ||
      getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    close(impl_->listener);
    errno = error;
    Fail("listening on loopback");
  }
  impl_->port = ntohs(address.sin_port);
  impl_->wakeRead = fds[0];
  impl_->wakeWrite = fds[1];
  std::promise<void> ended;
  impl_->ended = ended.get_future();
  impl_->thread = std::thread([impl = impl_.get(), ended = std::move(ended)]() mutable {
    impl->Run();
    for (auto& c : impl->connections) close(c.fd);
    impl->connections.clear();
    impl->open = 0;
    close(impl->listener);
    ended.set_value();
  });
}

FaultServer::~FaultServer() { Stop(); }

void FaultServer::Stop() {
  if (!impl_->thread.joinable()) return;
  const char byte = 1;
  while (write(impl_->wakeWrite, &byte, 1) < 0 && errno == EINTR) {
  }
  // The thread never blocks outside poll, so it ends at once; if it ever did not, a
  // loud end beats a test run that hangs until its global timeout.
  if (impl_->ended.wait_for(kStopLimit) != std::future_status::ready) {
    std::fprintf(stderr, "fault server: the server thread did not stop\n");
    std::abort();
  }
  impl_->thread.join();
  close(impl_->wakeRead);
  close(impl_->wakeWrite);
}

std::uint16_t FaultServer::Port() const { return impl_->port; }

std::string FaultServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(Port()); }

std::string FaultServer::Url(std::string_view target) const {
  return BaseUrl() + std::string(target);
}

std::size_t FaultServer::BodySize() const { return impl_->bodySize; }

void FaultServer::Serve(const std::string& path, std::string body, std::string contentType) {
  std::lock_guard lock(impl_->mutex);
  impl_->served[path] = {std::move(contentType), std::move(body)};
}

std::vector<std::string> FaultServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::vector<std::string> FaultServer::RangesAsked() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->ranges;
}

std::size_t FaultServer::OpenConnections() const { return impl_->open; }

std::uint16_t RefusingPort() {
  static std::mutex mutex;
  static std::vector<int> held;  // bound, never listening, never closed
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    Fail("binding a loopback port");
  }
  std::lock_guard lock(mutex);
  held.push_back(fd);
  return ntohs(address.sin_port);
}

}  // namespace ovix::test
