#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "net/async_downloader.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/folders.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "ui/headless/headless_application.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::Sandbox;

// Answers by the address: "ok:<body>", "fail:<code>:<partial body>", or "hold",
// which keeps reporting progress until it is told to stop.
class FakeTransport final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const fs::path& file,
                      const TransferProgress& progress) override {
    ++fetches;
    std::ofstream out(file, std::ios::binary);
    if (url.rfind("ok:", 0) == 0) {
      const std::string body = url.substr(3);
      const auto total = static_cast<std::uint64_t>(body.size());
      for (std::uint64_t i = 0; i <= total; ++i) {
        if (!progress(i, total)) return kTransferAborted;
      }
      out << body;
      return kTransferOk;
    }
    if (url.rfind("fail:", 0) == 0) {
      out << url.substr(14);
      return static_cast<std::uint32_t>(std::stoul(url.substr(5, 8), nullptr, 16));
    }
    if (url == "hold") {
      const auto deadline = std::chrono::steady_clock::now() + 30s;
      for (std::uint64_t i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
        if (aborted || !progress(i, 0)) return kTransferAborted;
        std::this_thread::sleep_for(1ms);
      }
      return kTransferFailed;
    }
    if (url.rfind("no-size:", 0) == 0) {
      // Steps far quicker than the bar is updated without a total, then the end.
      const std::uint64_t steps = std::stoull(url.substr(8));
      for (std::uint64_t i = 1; i <= steps; ++i) {
        if (!progress(i * 1000, 0)) return kTransferAborted;
      }
      return kTransferOk;
    }
    if (url == "throw") throw std::bad_alloc();
    if (url.rfind("plant:", 0) == 0) {
      // Another's file at the destination itself, and a transfer that fails.
      const std::string partial = file.string();
      std::ofstream(partial.substr(0, partial.rfind(".ovix-")), std::ios::binary) << url.substr(6);
      return kTransferNotFound;
    }
    if (url.rfind("large:", 0) == 0) {
      const std::uint64_t total = std::stoull(url.substr(6));
      return progress(0, total) && progress(total, total) ? kTransferOk : kTransferAborted;
    }
    if (url == "flood") {
      constexpr std::uint64_t kTotal = 2'000'000;
      for (std::uint64_t i = 0; i <= kTotal; i += 2) {
        if (!progress(i, kTotal)) return kTransferAborted;
      }
      return kTransferOk;
    }
    return kTransferInvalidUrl;
  }
  void AbortAll() override { aborted = true; }
  std::atomic<int> fetches{0};
  std::atomic<bool> aborted{false};
};

class Host final : public TDownloadHost {
 public:
  ui::Application& App() override { return app; }
  TTransport& Transport() override { return transport; }
  TDownloadRegistry& Downloads() override { return registry; }
  void DownloadProgress(std::int64_t received, std::int64_t total) override {
    EXPECT_TRUE(app.IsUiThread());
    ++progressSteps;
    lastPosition = received;
    lastTotal = total;
  }
  void DownloadFailed(std::uint32_t code, const std::string& url) override {
    EXPECT_TRUE(app.IsUiThread());
    failures.push_back(code);
    failedUrls.push_back(url);
  }
  // Pumps until the condition holds; false after the deadline.
  template <typename Condition>
  bool PumpUntil(Condition done) {
    return test::WaitUntil(done, 30s, [this] { app.ProcessMessages(); });
  }

  ui::HeadlessApplication app;
  FakeTransport transport;
  TDownloadRegistry registry;
  int progressSteps = 0;
  std::int64_t lastPosition = -1;
  std::int64_t lastTotal = -1;
  std::vector<std::uint32_t> failures;
  std::vector<std::string> failedUrls;
};

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(DownloaderTest, ASuccessfulDownloadReplacesTheDestinationAndLeavesNothingElse) {
  Sandbox box;
  Host host;
  const std::string destination = box.Dir() + "\\settings.xml";
  WriteFile(box.Local(destination), "old");
  TAsyncDownloader downloader(host, "ok:new content");
  downloader.Download(destination);
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  EXPECT_EQ(downloader.Destination(), destination);
  EXPECT_EQ(downloader.GetString(), "new content");
  EXPECT_EQ(box.FilesIn(box.Dir()), "settings.xml;");
  EXPECT_EQ(host.lastPosition, 11);
  EXPECT_EQ(host.lastTotal, 11);
  EXPECT_TRUE(host.failures.empty());
}

TEST(DownloaderTest, ItsOwnTemporaryFileGoesWithItAndAGivenDestinationStays) {
  Sandbox box;
  Host host;
  const auto temporaryFiles = [] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(LocalPath(GetTempDirectory()).value())) {
      if (entry.path().filename().string().starts_with("Ovix_Updater_")) {
        names.insert(entry.path().filename().string());
      }
    }
    return names;
  };
  const std::set<std::string> before = temporaryFiles();
  {
    TAsyncDownloader downloader(host, "ok:the script");
    downloader.Start();
    ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
    EXPECT_EQ(downloader.GetString(), "the script");
  }
  std::string list;
  TAsyncDownloader::Create(host, "ok:a list", [&](const std::string& text) { list = text; });
  ASSERT_TRUE(host.PumpUntil([&] { return !list.empty(); }));
  host.registry.JoinAll();
  EXPECT_EQ(list, "a list");
  EXPECT_EQ(temporaryFiles(), before);

  const std::string destination = box.Dir() + "\\kept.zip";
  {
    TAsyncDownloader downloader(host, "ok:archive");
    downloader.Download(destination);
    ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  }
  EXPECT_EQ(ReadWholeFile(box.Local(destination)), "archive");
}

TEST(DownloaderTest, TheBarEndsWhereTheTransferEndedAlsoWithoutATotal) {
  Sandbox box;
  Host host;
  TAsyncDownloader downloader(host, "no-size:5000");
  downloader.Download(box.Dir() + "\\file.bin");
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  EXPECT_EQ(host.lastPosition, 5'000'000);
  EXPECT_EQ(host.lastTotal, 0);
  EXPECT_LT(host.progressSteps, 100);
}

TEST(DownloaderTest, AFailedDownloadKeepsTheOldFileAndReportsItsCodeOnce) {
  Sandbox box;
  Host host;
  const std::string destination = box.Dir() + "\\settings.xml";
  WriteFile(box.Local(destination), "old");
  TAsyncDownloader downloader(host, "fail:800C0007:half a fi");
  downloader.Download(destination);
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  EXPECT_EQ(downloader.Result(), 0x800C0007u);
  EXPECT_EQ(host.failures, std::vector<std::uint32_t>{0x800C0007});
  EXPECT_EQ(host.failedUrls, std::vector<std::string>{"fail:800C0007:half a fi"});
  EXPECT_EQ(downloader.GetString(), "old");
  EXPECT_EQ(box.FilesIn(box.Dir()), "settings.xml;");
}

TEST(DownloaderTest, AFailureWithoutAnOldFileLeavesNoFileAndAnEmptyText) {
  Sandbox box;
  Host host;
  TAsyncDownloader downloader(host, "fail:800C0005:partial");
  downloader.Start();
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  EXPECT_EQ(downloader.GetString(), "");
  EXPECT_FALSE(fs::exists(box.Local(downloader.Destination())));
  EXPECT_EQ(host.failures.size(), 1u);
}

TEST(DownloaderTest, TheTemporaryDestinationIsNamedByTheLocalTime) {
  Sandbox box;
  Host host;
  TAsyncDownloader downloader(host, "ok:x");
  const std::string& name = downloader.Destination();
  const std::string temp = GetTempDirectory();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(name.rfind(temp + "\\Ovix_Updater_", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  downloader.Start();
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  EXPECT_EQ(downloader.GetString(), "x");

  EXPECT_EQ(TemporaryDownloadName("T:\\a", 7), "T:\\a\\Ovix_Updater_7.tmp");
  EXPECT_EQ(TemporaryDownloadName("T:\\a", 86399999), "T:\\a\\Ovix_Updater_86399999.tmp");
  // Two in the same millisecond never share a file.
  EXPECT_EQ(TemporaryDownloadName("T:\\b", 50709042), "T:\\b\\Ovix_Updater_50709042.tmp");
  EXPECT_EQ(TemporaryDownloadName("T:\\b", 50709042), "T:\\b\\Ovix_Updater_50709042_1.tmp");
  EXPECT_EQ(TemporaryDownloadName("T:\\b", 50709042), "T:\\b\\Ovix_Updater_50709042_2.tmp");
}

TEST(DownloaderTest, ACallbackGetsTheTextOnTheUiThreadAndNeitherBarNorMessage) {
  Sandbox box;
  Host host;
  std::vector<std::string> received;
  TAsyncDownloader::Create(host, "ok:\xEF\xBB\xBFlist", [&](const std::string& data) {
    EXPECT_TRUE(host.app.IsUiThread());
    received.push_back(data);
  });
  TAsyncDownloader::Create(host, "fail:800C0005:partial",
                           [&](const std::string& data) { received.push_back("failed:" + data); });
  ASSERT_TRUE(host.PumpUntil([&] { return received.size() == 2; }));
  host.registry.JoinAll();
  std::sort(received.begin(), received.end());
  EXPECT_EQ(received, (std::vector<std::string>{"failed:", "list"}));
  EXPECT_EQ(host.progressSteps, 0);
  EXPECT_TRUE(host.failures.empty());
  EXPECT_TRUE(host.app.Messages().empty());
}

// A callback gets an answer only from a transfer that succeeded: not what stands at the
// destination after a failure, not one that threw, not one too large to hold.
TEST(DownloaderTest, ACallbackGetsNothingFromATransferThatFailed) {
  Sandbox box;
  Host host;
  std::vector<std::string> received;
  const std::string tooLarge = "large:" + std::to_string(kAnswerLimit + 1);
  for (const std::string& url :
       {std::string("plant:planted list"), std::string("throw"), tooLarge}) {
    TAsyncDownloader::Create(host, url, [&](const std::string& data) { received.push_back(data); });
  }
  ASSERT_TRUE(host.PumpUntil([&] { return received.size() == 3; }));
  host.registry.JoinAll();
  EXPECT_EQ(received, (std::vector<std::string>{"", "", ""}));

  // Without a callback the failure is reported, with its own code when too large.
  for (const auto& [url, code] : std::initializer_list<std::pair<std::string, std::uint32_t>>{
           {"throw", kTransferFailed}, {tooLarge, kTransferTooLarge}}) {
    TAsyncDownloader downloader(host, url);
    downloader.Start();
    ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
    EXPECT_EQ(downloader.Result(), code) << url;
  }
  EXPECT_EQ(host.failures, (std::vector<std::uint32_t>{kTransferFailed, kTransferTooLarge}));
  // A file of any size may be downloaded to a destination.
  TAsyncDownloader archive(host, tooLarge);
  archive.Download(box.Dir() + "\\large.bin");
  ASSERT_TRUE(host.PumpUntil([&] { return archive.Finished(); }));
  EXPECT_EQ(archive.Result(), kTransferOk);
}

TEST(DownloaderTest, TerminatingAbandonsTransfersQuietlyAndShutdownJoinsThem) {
  Sandbox box;
  Host host;
  int callbacks = 0;
  TAsyncDownloader::Create(host, "hold", [&](const std::string&) { ++callbacks; });
  auto owned = std::make_unique<TAsyncDownloader>(host, "hold");
  owned->Start();
  ASSERT_TRUE(host.PumpUntil([&] { return host.progressSteps > 0; }));
  const auto terminated = std::chrono::steady_clock::now();
  host.app.Terminate();
  host.registry.JoinAll();
  ASSERT_TRUE(test::WaitUntil([&] { return owned->Finished(); }, 30s));
  // Abandoned: a held transfer would only give up by itself after 30 s.
  EXPECT_EQ(owned->Result(), kTransferAborted);
  EXPECT_LT(std::chrono::steady_clock::now() - terminated, 15s);
  owned.reset();
  EXPECT_EQ(callbacks, 0);  // dropped: the UI thread no longer serves hand-overs
  EXPECT_TRUE(host.failures.empty());
}

TEST(DownloaderTest, ProgressIsHandedOverOnlyWhenTheBarCanShowIt) {
  Sandbox box;
  Host host;
  TAsyncDownloader downloader(host, "flood");
  downloader.Start();
  ASSERT_TRUE(host.PumpUntil([&] { return downloader.Finished(); }));
  // At most one per visible change of the bar (a thousandth), at least the first and last.
  EXPECT_LE(host.progressSteps, 1002);
  EXPECT_GE(host.progressSteps, 2);
  EXPECT_EQ(host.lastPosition, 2'000'000);
  EXPECT_EQ(host.lastTotal, 2'000'000);
}

TEST(DownloaderTest, ManyShortLivedDownloadersComeAndGoCleanly) {
  Sandbox box;
  Host host;
  std::atomic<int> done{0};
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 10; ++i) {
      TAsyncDownloader::Create(host, "ok:abc", [&](const std::string& data) {
        if (data == "abc") ++done;
      });
    }
    auto owned = std::make_unique<TAsyncDownloader>(host, "ok:x");
    if (round % 2) owned->Start();  // a never-started one just goes
    host.app.ProcessMessages();
  }
  ASSERT_TRUE(host.PumpUntil([&] { return done.load() == 200; }));
  host.registry.Reap();
  host.registry.JoinAll();
  EXPECT_EQ(host.registry.Count(), 0u);
}

}  // namespace
}  // namespace ovix
