// The posix transport against real servers on loopback.

#include "net/transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
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
  // A body cut short is a lost connection, which the downloader tries again.
  EXPECT_EQ(Fetch(server.Url("/truncated")), kTransferInterrupted);
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

// A file cut off is continued from its end only when the server still has the same version
// and gives the range; else it starts over, and never holds bytes of two versions.
TEST_F(TransportTest, ACutOffFileContinuesOnlyFromTheSameVersion) {
  FaultServer server;
  const auto fetchFrom = [&](const std::string& target, TResumePoint& point) {
    reports_.clear();
    return transport_->FetchResuming(
        server.Url(target), File(),
        [&](auto received, auto total) {
          reports_.emplace_back(received, total);
          return true;
        },
        point);
  };
  for (const std::string validator : {"etag", "date"}) {
    SCOPED_TRACE(validator);
    const std::string target = "/ranged?size=300000&cut=100000&validator=" + validator;
    TResumePoint point;
    EXPECT_EQ(fetchFrom(target, point), kTransferInterrupted);
    EXPECT_TRUE(point.responded);
    EXPECT_FALSE(point.continued);
    ASSERT_FALSE(point.responseValidator.empty());
    EXPECT_EQ(point.responseTotal, 300000u);
    EXPECT_EQ(Content(), PatternBytes(100000));

    TResumePoint rest{100000, point.responseValidator, 300000};
    EXPECT_EQ(fetchFrom(target, rest), kTransferOk);
    EXPECT_TRUE(rest.continued);
    EXPECT_EQ(rest.responseValidator, point.responseValidator);
    EXPECT_EQ(Content(), PatternBytes(300000));
    EXPECT_EQ(server.RangesAsked().back(), "bytes=100000-");
    // The bar counts the whole file.
    EXPECT_EQ(reports_.back(), (std::pair<std::uint64_t, std::uint64_t>{300000, 300000}));
  }

  // A server that ignores ranges sends the whole again, which replaces the part.
  {
    std::ofstream(File(), std::ios::binary) << PatternBytes(5000, 77);
    TResumePoint point{5000, "\"v1\"", 20000};
    EXPECT_EQ(fetchFrom("/ranged?size=20000&ranges=0", point), kTransferOk);
    EXPECT_FALSE(point.continued);
    EXPECT_EQ(Content(), PatternBytes(20000));
  }
  // A new version (another validator) comes whole.
  {
    std::ofstream(File(), std::ios::binary) << PatternBytes(5000);
    TResumePoint point{5000, "\"v0\"", 20000};
    EXPECT_EQ(fetchFrom("/ranged?size=20000&changes=1", point), kTransferOk);
    EXPECT_FALSE(point.continued);
    EXPECT_EQ(point.responseValidator, "\"v1\"");
    EXPECT_EQ(Content(), PatternBytes(20000));
    TResumePoint changed{5000, point.responseValidator, 20000};
    std::ofstream(File(), std::ios::binary) << PatternBytes(5000);
    EXPECT_EQ(fetchFrom("/ranged?size=20000&changes=1", changed), kTransferOk);
    EXPECT_FALSE(changed.continued);
    EXPECT_EQ(changed.responseValidator, "\"v2\"");
    EXPECT_EQ(Content(), PatternBytes(20000, 1000003));
  }
  // A part as long as the file (cut off before it was moved into place): the range cannot
  // be given, and the file is to start over; nothing is written meanwhile.
  {
    std::ofstream(File(), std::ios::binary) << PatternBytes(20000);
    TResumePoint point{20000, "\"v1\"", 20000};
    EXPECT_EQ(fetchFrom("/ranged?size=20000", point), kTransferInterrupted);
    EXPECT_TRUE(point.responded);
    EXPECT_TRUE(point.responseValidator.empty());
    EXPECT_EQ(Content(), PatternBytes(20000));
  }
  // A continuation is taken only when it is exactly the rest of the file as recorded: not one
  // short of it, not of another total, not in a content coding; nothing is written then.
  for (const auto& [target, total] : std::initializer_list<std::pair<std::string, std::uint64_t>>{
           {"/ranged?size=20000&short=1", 20000},
           {"/ranged?size=20000", 30000},
           {"/ranged?size=20000&coding=gzip", 20000}}) {
    SCOPED_TRACE(target);
    std::ofstream(File(), std::ios::binary) << PatternBytes(5000);
    TResumePoint point{5000, "\"v1\"", total};
    EXPECT_EQ(fetchFrom(target, point), kTransferInterrupted);
    EXPECT_TRUE(point.responseValidator.empty());
    EXPECT_EQ(Content(), PatternBytes(5000));
  }
  // A weak ETag names no version, and a date beside it may not stand in for it.
  {
    TResumePoint point;
    EXPECT_EQ(fetchFrom("/ranged?size=20000&validator=weak", point), kTransferOk);
    EXPECT_TRUE(point.responseValidator.empty());
  }
  // A file that cannot be opened for the body takes no validator: the bytes of the version
  // held stay as they were, under their own.
  {
    fs::create_directories(dir_ / "a-folder");
    TResumePoint point{5000, "\"v0\"", 20000};
    EXPECT_EQ(transport_->FetchResuming(
                  server.Url("/ranged?size=20000&changes=1"), dir_ / "a-folder",
                  [](auto, auto) { return true; }, point),
              kTransferFailed);
    EXPECT_FALSE(point.responded);
    EXPECT_TRUE(point.responseValidator.empty());
  }
  // Without a validator nothing is asked for, and the response offers none.
  {
    TResumePoint point{5000, ""};
    EXPECT_EQ(fetchFrom("/ranged?size=20000&validator=none", point), kTransferOk);
    EXPECT_EQ(server.RangesAsked().back(), "");
    EXPECT_TRUE(point.responseValidator.empty());
    EXPECT_EQ(Content(), PatternBytes(20000));
  }
}

TEST_F(TransportTest, AProbeTellsWhetherAnAddressAnswersAndItsSizeWithoutTheBody) {
  FaultServer server;
  const TAddressProbe sized = transport_->Probe(server.Url("/ok?size=123456"), File());
  EXPECT_EQ(sized.code, kTransferOk);
  EXPECT_EQ(sized.size, std::optional<std::uint64_t>(123456));
  EXPECT_EQ(transport_->Probe(server.Url("/no-size"), File()).size, std::nullopt);
  EXPECT_EQ(transport_->Probe(server.Url("/not-found"), File()).code, kTransferNotFound);
  EXPECT_EQ(transport_->Probe(server.Url("/redirect?to=" + server.Url("/ok?size=7")), File()).size,
            std::optional<std::uint64_t>(7));
  EXPECT_FALSE(fs::exists(File()));
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
  download.RetryPauses({1ms, 1ms, 1ms});
  download.Download(destination);
  host.Run(download);
  EXPECT_EQ(host.failures, std::vector<std::uint32_t>{kTransferFailed});
  // Three more tries, each from the start: without a folder to keep it, no part is kept.
  EXPECT_EQ(server.Requests().size(), 4u);
  EXPECT_EQ(server.RangesAsked(), std::vector<std::string>(4, ""));
  EXPECT_EQ(ReadWholeFile(box.Local(destination)).value(), "the old archive");
  EXPECT_EQ(box.FilesIn(box.Dir()), "archive.zip;");
}

// Cut at random points, a download goes on where each cut left it and ends byte for byte
// the file; what four cuts in a row leave is taken up by the next download of the same.
TEST(RealDownloadTest, CutsAtRandomPointsAreContinuedToTheWholeFile) {
  test::Sandbox box;
  FaultServer server;
  RealHost host;
  const std::string keptDir = box.Dir() + "\\data";
  const fs::path kept = box.Local(keptDir);
  const auto downloadResuming = [&](const std::string& target, const std::string& destination) {
    TAsyncDownloader download(host, server.Url(target));
    download.ResumeIn(kept);
    download.RetryPauses({1ms, 1ms, 1ms});
    download.Download(destination);
    host.Run(download);
    return download.Result();
  };
  std::mt19937 random(std::random_device{}());
  constexpr std::size_t kSize = 3000000;
  for (int round = 0; round < 4; ++round) {
    std::vector<std::size_t> cuts(3);
    for (std::size_t& cut : cuts)
      cut = std::uniform_int_distribution<std::size_t>(1, kSize - 1)(random);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::string target = "/ranged?size=" + std::to_string(kSize) + "&cut=";
    std::vector<std::string> expected{""};
    for (const std::size_t cut : cuts) {
      target += std::to_string(cut) + ",";
      expected.push_back("bytes=" + std::to_string(cut) + "-");
    }
    target += "&round=" + std::to_string(round);
    SCOPED_TRACE(target);
    const std::size_t before = server.RangesAsked().size();
    const std::string destination = box.Dir() + "\\file" + std::to_string(round) + ".bin";
    EXPECT_EQ(downloadResuming(target, destination), kTransferOk);
    const std::vector<std::string> asked = server.RangesAsked();
    EXPECT_EQ(
        std::vector<std::string>(asked.begin() + static_cast<std::ptrdiff_t>(before), asked.end()),
        expected);
    EXPECT_TRUE(ReadWholeFile(box.Local(destination)) == PatternBytes(kSize));
  }
  EXPECT_EQ(box.FilesIn(keptDir), "") << "a finished download leaves nothing kept";

  // Four cuts are one more than the tries: the download fails, the old file stays, and the
  // next download of the same address to the same file goes on from the last cut.
  const std::string destination = box.Dir() + "\\again.bin";
  { std::ofstream(box.Local(destination), std::ios::binary) << "the old file"; }
  const std::string target = "/ranged?size=400000&cut=1000,2000,3000,4000";
  EXPECT_EQ(downloadResuming(target, destination), kTransferFailed);
  EXPECT_EQ(ReadWholeFile(box.Local(destination)).value(), "the old file");
  EXPECT_EQ(downloadResuming(target, destination), kTransferOk);
  EXPECT_EQ(server.RangesAsked().back(), "bytes=4000-");
  EXPECT_TRUE(ReadWholeFile(box.Local(destination)) == PatternBytes(400000));
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
