#include "support/fault_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "support/wait_until.h"

namespace ovix::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One HTTP exchange over a plain socket, so the tests see exactly what the server
// sends and when it closes.
class Client {
 public:
  Client(std::uint16_t port, const std::string& target) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ADD_FAILURE() << "connect: " << errno;
      return;
    }
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(send(fd_, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
  }
  ~Client() { HangUp(); }

  // Reads until `enough` holds, the server closes, or the limit passes.
  bool ReadUntil(const std::function<bool()>& enough, std::chrono::milliseconds limit = 20s) {
    const auto deadline = Clock::now() + limit;
    while (!enough()) {
      if (closed_ || fd_ < 0) return false;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      if (!ReadOnce(static_cast<int>(left.count()))) return enough();
    }
    return true;
  }
  bool ReadToEnd() {
    return ReadUntil([this] { return closed_; });
  }
  bool ReadBody(std::size_t bytes) {
    return ReadUntil([&] { return Body().size() >= bytes; });
  }
  // True when nothing arrives for the whole `quiet` time and the connection stays open.
  bool QuietFor(std::chrono::milliseconds quiet) {
    pollfd fd{fd_, POLLIN, 0};
    return poll(&fd, 1, static_cast<int>(quiet.count())) == 0;
  }
  void HangUp() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  bool Closed() const { return closed_; }
  int Status() const { return data_.size() > 12 ? std::stoi(data_.substr(9, 3)) : 0; }
  std::string Body() const {
    const auto end = data_.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : data_.substr(end + 4);
  }
  std::optional<std::string> Header(const std::string& name) const {
    const auto head = data_.substr(0, data_.find("\r\n\r\n") + 2);
    const auto at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return std::nullopt;
    const auto start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
  }

 private:
  // One poll and read; false when nothing arrived in time or the connection ended.
  bool ReadOnce(int timeoutMs) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return false;
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    data_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
  std::string data_;
};

// Whether a connection to the loopback port is refused.
bool Refused(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool refused = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == ECONNREFUSED;
  close(fd);
  return refused;
}

TEST(PatternTest, SlicesLineUpAndDoNotRepeat) {
  const auto whole = PatternBytes(70000);
  EXPECT_EQ(PatternBytes(100, 65500), whole.substr(65500, 100));
  EXPECT_NE(whole.substr(0, 256), whole.substr(256, 256));
  EXPECT_NE(whole.substr(0, 4096), whole.substr(65536, 4096));
}

TEST(FaultServerTest, OkSendsTheAnnouncedPatternAndCloses) {
  FaultServer server(100000);
  Client full(server.Port(), "/ok");
  ASSERT_TRUE(full.ReadToEnd());
  EXPECT_EQ(full.Status(), 200);
  EXPECT_EQ(full.Header("Content-Length"), "100000");
  EXPECT_EQ(full.Body(), PatternBytes(100000));

  Client sized(server.Port(), "/ok?size=10");
  ASSERT_TRUE(sized.ReadToEnd());
  EXPECT_EQ(sized.Body(), PatternBytes(10));
}

TEST(FaultServerTest, ErrorStatusesCarryAShortBody) {
  FaultServer server;
  for (const char* target : {"/not-found", "/no-such-path"}) {
    Client client(server.Port(), target);
    ASSERT_TRUE(client.ReadToEnd()) << target;
    EXPECT_EQ(client.Status(), 404) << target;
    EXPECT_FALSE(client.Body().empty());
    EXPECT_LT(client.Body().size(), 100u);
  }
  Client status(server.Port(), "/status?code=503");
  ASSERT_TRUE(status.ReadToEnd());
  EXPECT_EQ(status.Status(), 503);
  Client bad(server.Port(), "/truncated?size=10&sent=10");
  ASSERT_TRUE(bad.ReadToEnd());
  EXPECT_EQ(bad.Status(), 400);
}

TEST(FaultServerTest, TruncatedAndSizelessBodiesEndByClosing) {
  FaultServer server(5000);
  Client truncated(server.Port(), "/truncated");
  ASSERT_TRUE(truncated.ReadToEnd());
  EXPECT_EQ(truncated.Header("Content-Length"), "5000");
  EXPECT_EQ(truncated.Body(), PatternBytes(2500));

  Client chosen(server.Port(), "/truncated?size=300&sent=7");
  ASSERT_TRUE(chosen.ReadToEnd());
  EXPECT_EQ(chosen.Header("Content-Length"), "300");
  EXPECT_EQ(chosen.Body(), PatternBytes(7));

  Client sizeless(server.Port(), "/no-size");
  ASSERT_TRUE(sizeless.ReadToEnd());
  EXPECT_EQ(sizeless.Status(), 200);
  EXPECT_FALSE(sizeless.Header("Content-Length"));
  EXPECT_EQ(sizeless.Body(), PatternBytes(5000));
}

TEST(FaultServerTest, StallSendsPartThenNothingAndServesOthersMeanwhile) {
  FaultServer server(4000);
  Client stalled(server.Port(), "/stall");
  ASSERT_TRUE(stalled.ReadBody(2000));
  EXPECT_EQ(stalled.Header("Content-Length"), "4000");
  EXPECT_TRUE(stalled.QuietFor(300ms));
  EXPECT_EQ(stalled.Body(), PatternBytes(2000));

  // One thread serves everything: the stalled connection must not block the next.
  {
    Client other(server.Port(), "/ok");
    ASSERT_TRUE(other.ReadToEnd());
    EXPECT_EQ(other.Body(), PatternBytes(4000));
  }
  EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 1; }, 10s));
  EXPECT_FALSE(stalled.Closed());
  EXPECT_TRUE(stalled.QuietFor(50ms));

  stalled.HangUp();
  EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }, 10s));
}

TEST(FaultServerTest, EndlessKeepsSendingUntilTheClientHangsUp) {
  FaultServer server(10000);
  Client client(server.Port(), "/endless?piece=8192&pause_ms=1");
  ASSERT_TRUE(client.ReadBody(100000));
  EXPECT_FALSE(client.Header("Content-Length"));
  EXPECT_FALSE(client.Closed());
  const auto body = client.Body();
  EXPECT_EQ(body, PatternBytes(body.size()));
  client.HangUp();
  EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }, 10s));
}

TEST(FaultServerTest, SlowSendsTheWholeBodyInPausedPieces) {
  FaultServer server;
  const auto start = Clock::now();
  Client client(server.Port(), "/slow?size=1000&piece=100&pause_ms=30");
  ASSERT_TRUE(client.ReadToEnd());
  // Ten pieces with nine pauses between them: a lower bound only, never an upper one.
  EXPECT_GE(Clock::now() - start, 270ms);
  EXPECT_EQ(client.Header("Content-Length"), "1000");
  EXPECT_EQ(client.Body(), PatternBytes(1000));
}

TEST(FaultServerTest, RedirectsGoWhereAsked) {
  FaultServer server;
  Client redirect(server.Port(), "/redirect?to=http://127.0.0.1:1/ok?size=5&x=1");
  ASSERT_TRUE(redirect.ReadToEnd());
  EXPECT_EQ(redirect.Status(), 302);
  EXPECT_EQ(redirect.Header("Location"), "http://127.0.0.1:1/ok?size=5&x=1");

  Client loop(server.Port(), "/redirect-loop");
  ASSERT_TRUE(loop.ReadToEnd());
  EXPECT_EQ(loop.Status(), 302);
  EXPECT_EQ(loop.Header("Location"), server.Url("/redirect-loop"));
}

TEST(FaultServerTest, ServesGivenContentAndRecordsRequests) {
  FaultServer server;
  server.Serve("/get-ovix-configs", "Compact compact\r\n", "text/plain");
  Client served(server.Port(), "/get-ovix-configs");
  ASSERT_TRUE(served.ReadToEnd());
  EXPECT_EQ(served.Status(), 200);
  EXPECT_EQ(served.Header("Content-Type"), "text/plain");
  EXPECT_EQ(served.Body(), "Compact compact\r\n");

  Client other(server.Port(), "/get-ovix-versions?version=");
  ASSERT_TRUE(other.ReadToEnd());
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{"/get-ovix-configs", "/get-ovix-versions?version="}));
}

TEST(FaultServerTest, StopClosesStalledAndEndlessConnections) {
  FaultServer server(4000);
  Client stalled(server.Port(), "/stall");
  Client endless(server.Port(), "/endless");
  ASSERT_TRUE(stalled.ReadBody(2000));
  ASSERT_TRUE(endless.ReadBody(1));
  server.Stop();
  EXPECT_TRUE(stalled.ReadToEnd());
  EXPECT_TRUE(endless.ReadToEnd());
  EXPECT_TRUE(Refused(server.Port()));
  server.Stop();
}

TEST(RefusingPortTest, ConnectionsAreRefused) {
  const auto port = RefusingPort();
  EXPECT_NE(port, RefusingPort());
  EXPECT_TRUE(Refused(port));
}

}  // namespace
}  // namespace ovix::test
