// The posix transport against real servers on loopback.

#include "net/transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "net/async_downloader.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "support/fault_server.h"
#include "support/sandbox.h"
#include "support/scoped_environment.h"
#include "support/service_kit.h"
#include "support/wait_until.h"
#include "ui/headless/headless_application.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::FaultServer;
using test::PatternBytes;

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ovix-transport-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Fetches into a file; records the progress reports.
  std::uint32_t Fetch(const std::string& url, std::uint64_t stopAfter = UINT64_MAX) {
    reports_.clear();
    return transport_->Fetch(url, File(), [&](std::uint64_t received, std::uint64_t total) {
      reports_.emplace_back(received, total);
      return received < stopAfter;
    });
  }
  fs::path File() const { return dir_ / "out.bin"; }
  std::string Content() const { return ReadWholeFile(File()).value_or("<missing>"); }

  fs::path dir_;
  std::unique_ptr<TTransport> transport_ = CreatePlatformTransport();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports_;
};

TEST_F(TransportTest, AWholeBodyArrivesWithItsProgress) {
  FaultServer server(300000);
  EXPECT_EQ(Fetch(server.Url("/ok")), kTransferOk);
  EXPECT_EQ(Content(), PatternBytes(300000));
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back(), (std::pair<std::uint64_t, std::uint64_t>{300000, 300000}));

  // Without a size, the total stays 0 while the position grows.
  EXPECT_EQ(Fetch(server.Url("/no-size?size=100000")), kTransferOk);
  EXPECT_EQ(Content(), PatternBytes(100000));
  EXPECT_EQ(reports_.back().first, 100000u);
  for (const auto& report : reports_) EXPECT_EQ(report.second, 0u);

  // Redirects within http are followed.
  EXPECT_EQ(Fetch(server.Url("/redirect?to=" + server.Url("/ok?size=10"))), kTransferOk);
  EXPECT_EQ(Content(), PatternBytes(10));
}

TEST_F(TransportTest, FailuresMapToTheirCodes) {
  FaultServer server(50000);
  EXPECT_EQ(Fetch(server.Url("/not-found")), kTransferNotFound);
  EXPECT_EQ(Fetch(server.Url("/status?code=500")), kTransferFailed);
  EXPECT_EQ(Fetch(server.Url("/truncated")), kTransferFailed);
  EXPECT_EQ(Fetch(server.Url("/redirect-loop")), kTransferRedirectFailed);
  EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/x"),
            kTransferCannotConnect);
  EXPECT_EQ(Fetch("ftp://127.0.0.1/x"), kTransferUnknownProtocol);
  // No scheme is not http: nothing is guessed.
  const std::string bare = server.Url("/ok?size=10").substr(std::string("http://").size());
  EXPECT_EQ(Fetch(bare), kTransferUnknownProtocol);
  EXPECT_EQ(Fetch("nowhere/x"), kTransferInvalidUrl);
  EXPECT_EQ(Fetch("HtTp" + server.Url("/ok?size=10").substr(4)), kTransferOk);
  EXPECT_EQ(Fetch("http://nowhere.invalid/x"), kTransferNotFound);
  const std::uint32_t malformed = Fetch("http://[::1");
  EXPECT_TRUE(malformed == kTransferInvalidUrl || malformed == kTransferCannotConnect) << malformed;
}

TEST_F(TransportTest, ProgressCanAbandonStalledAndEndlessTransfers) {
  FaultServer server(1 << 20);
  EXPECT_EQ(Fetch(server.Url("/endless"), 200000), kTransferAborted);
  const auto started = std::chrono::steady_clock::now();
  // The stalled server sends nothing more; a stop flag set from another thread
  // still ends the transfer promptly.
  std::thread stopper([&] {
    test::WaitUntil(
        [&] {
          const std::vector<std::string> requests = server.Requests();
          return std::find(requests.begin(), requests.end(), "/stall") != requests.end();
        },
        20s);
    transport_->AbortAll();
  });
  EXPECT_EQ(Fetch(server.Url("/stall")), kTransferAborted);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  // Once aborted, later transfers stop at once.
  EXPECT_EQ(Fetch(server.Url("/ok")), kTransferAborted);
}

TEST_F(TransportTest, HttpsIsVerifiedAndNeverRedirectedToHttp) {
  test::ServiceKit kit(test::ServiceKitOptions{test::ServiceKit::ExampleDir(), true});
  const std::string url = kit.TlsBaseUrl() + "/get-ovix-configs";
  // Without our test authority the certificate cannot be trusted.
  ScopedEnvironment caBundle("OVIX_CA_BUNDLE");
  caBundle.Unset();
  EXPECT_EQ(Fetch(url), kTransferSecurityProblem);
  caBundle.Set(kit.CaFile().string());
  EXPECT_EQ(Fetch(url), kTransferOk);
  EXPECT_EQ(Content(), ReadWholeFile(test::ServiceKit::ExampleDir() / "configs.txt").value());
  EXPECT_EQ(Fetch(kit.TlsBaseUrl() + "/redirect-to-http/get-ovix-configs"),
            kTransferRedirectFailed);
  // In any case of its letters.
  EXPECT_EQ(Fetch("Https" + kit.TlsBaseUrl().substr(5) + "/redirect-to-http/get-ovix-configs"),
            kTransferRedirectFailed);
}

}  // namespace
}  // namespace ovix

namespace ovix {
namespace {

// The downloader over the real transport: what a failed GETFILE leaves behind.
class RealHost final : public TDownloadHost {
 public:
  ui::Application& App() override { return app; }
  TTransport& Transport() override { return *transport; }
  TDownloadRegistry& Downloads() override { return registry; }
  void DownloadProgress(std::int64_t received, std::int64_t total) override {
    positions.emplace_back(received, total);
  }
  void DownloadFailed(std::uint32_t code, const std::string&) override { failures.push_back(code); }
  void Run(TAsyncDownloader& download) {
    while (!download.Finished()) {
      app.WaitForWork(10ms);
      app.ProcessMessages();
    }
  }
  ui::HeadlessApplication app;
  std::unique_ptr<TTransport> transport = CreatePlatformTransport();
  TDownloadRegistry registry;
  std::vector<std::pair<std::int64_t, std::int64_t>> positions;
  std::vector<std::uint32_t> failures;
};

TEST(RealDownloadTest, ACutShortBodyLeavesTheOldFileAndNothingElse) {
  test::Sandbox box;
  FaultServer server(200000);
  RealHost host;
  const std::string destination = box.Dir() + "\\archive.zip";
  { std::ofstream(box.Local(destination), std::ios::binary) << "the old archive"; }
  TAsyncDownloader download(host, server.Url("/truncated"));
  download.Download(destination);
  host.Run(download);
  EXPECT_EQ(host.failures, std::vector<std::uint32_t>{kTransferFailed});
  EXPECT_EQ(ReadWholeFile(box.Local(destination)).value(), "the old archive");
  EXPECT_EQ(box.FilesIn(box.Dir()), "archive.zip;");
}

TEST(RealDownloadTest, WithoutASizeTheBarsMaximumIsZeroWhileThePositionGrows) {
  test::Sandbox box;
  FaultServer server;
  RealHost host;
  TAsyncDownloader download(host, server.Url("/no-size?size=3000000"));
  download.Download(box.Dir() + "\\file.bin");
  host.Run(download);
  EXPECT_TRUE(host.failures.empty());
  ASSERT_FALSE(host.positions.empty());
  for (const auto& [position, max] : host.positions) EXPECT_EQ(max, 0);
  EXPECT_EQ(host.positions.back().first, 3000000);
  EXPECT_EQ(ReadWholeFile(box.Local(box.Dir() + "\\file.bin")).value(), PatternBytes(3000000));
}

}  // namespace
}  // namespace ovix
