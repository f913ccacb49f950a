// The WinINet transport against the fault server the test run starts on loopback (its
// address in OVIX_FAULT_URL): transfers cut off, continued, refused a range or changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "net/async_downloader.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "os/files.h"
#include "os/process.h"
#include "os/text.h"
#include "support/pattern_bytes.h"
#include "ui/headless/headless_application.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::PatternBytes;

std::string FaultUrl() {
  const char* url = std::getenv("OVIX_FAULT_URL");
  return url != nullptr ? url : "";
}

class Win32ResumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FaultUrl().empty()) GTEST_SKIP() << "needs the fault server; scripts/test starts it";
    folder_ = fs::temp_directory_path() / ("ovix-resume-" + std::to_string(CurrentProcessId()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::uint32_t FetchFrom(const std::string& target, TResumePoint& point) {
    last_ = {};
    return transport_->FetchResuming(
        FaultUrl() + target, File(),
        [&](std::uint64_t received, std::uint64_t total) {
          last_ = {received, total};
          return true;
        },
        point);
  }
  fs::path File() const { return folder_ / "out.bin"; }
  std::string Content() const { return ReadWholeFile(File()).value_or("<missing>"); }
  void Write(const std::string& bytes) { std::ofstream(File(), std::ios::binary) << bytes; }

  fs::path folder_;
  std::unique_ptr<TTransport> transport_ = CreatePlatformTransport();
  std::pair<std::uint64_t, std::uint64_t> last_;
};

TEST_F(Win32ResumeTest, ACutOffFileContinuesOnlyFromTheSameVersion) {
  const std::string target = "/ranged?size=300000&cut=100000";
  TResumePoint point;
  EXPECT_EQ(FetchFrom(target, point), kTransferInterrupted);
  EXPECT_TRUE(point.responded);
  EXPECT_EQ(point.responseValidator, "\"v1\"");
  EXPECT_EQ(point.responseTotal, 300000u);
  EXPECT_EQ(Content(), PatternBytes(100000));
  TResumePoint rest{100000, point.responseValidator, 300000};
  EXPECT_EQ(FetchFrom(target, rest), kTransferOk);
  EXPECT_TRUE(rest.continued);
  EXPECT_EQ(Content(), PatternBytes(300000));
  EXPECT_EQ(last_, (std::pair<std::uint64_t, std::uint64_t>{300000, 300000}));

  // A server that ignores ranges sends the whole again, which replaces the part.
  Write(PatternBytes(5000, 77));
  TResumePoint ignored{5000, "\"v1\"", 20000};
  EXPECT_EQ(FetchFrom("/ranged?size=20000&ranges=0", ignored), kTransferOk);
  EXPECT_FALSE(ignored.continued);
  EXPECT_EQ(Content(), PatternBytes(20000));

  // A new version comes whole: its bytes, not the old part's.
  Write(PatternBytes(5000));
  TResumePoint changed{5000, "\"v0\"", 20000};
  EXPECT_EQ(FetchFrom("/ranged?size=20000&changes=1", changed), kTransferOk);
  EXPECT_FALSE(changed.continued);
  const std::string& tag = changed.responseValidator;
  ASSERT_GE(tag.size(), 3u);
  const std::size_t version = std::stoul(tag.substr(2, tag.size() - 3));
  EXPECT_EQ(Content(), PatternBytes(20000, (version - 1) * 1000003));

  // A part as long as the file: the range cannot be given, and the file is to start over.
  Write(PatternBytes(20000));
  TResumePoint whole{20000, "\"v1\"", 20000};
  EXPECT_EQ(FetchFrom("/ranged?size=20000", whole), kTransferInterrupted);
  EXPECT_TRUE(whole.responded);
  EXPECT_TRUE(whole.responseValidator.empty());
  EXPECT_EQ(Content(), PatternBytes(20000));

  // Only exactly the rest of the file recorded is taken: not one byte short of it, not of
  // another total, not in a content coding.
  for (const auto& [where, total] : std::initializer_list<std::pair<std::string, std::uint64_t>>{
           {"/ranged?size=20000&short=1", 20000},
           {"/ranged?size=20000", 30000},
           {"/ranged?size=20000&coding=gzip", 20000}}) {
    SCOPED_TRACE(where);
    Write(PatternBytes(5000));
    TResumePoint part{5000, "\"v1\"", total};
    EXPECT_EQ(FetchFrom(where, part), kTransferInterrupted);
    EXPECT_EQ(Content(), PatternBytes(5000));
  }
}

// The dry run asks addresses for their size: WinINet stops at the answer's head.
TEST_F(Win32ResumeTest, AProbeTellsWhetherAnAddressAnswersAndItsSize) {
  const TAddressProbe sized = transport_->Probe(FaultUrl() + "/ok?size=123456", File());
  EXPECT_EQ(sized.code, kTransferOk);
  EXPECT_EQ(sized.size, std::optional<std::uint64_t>(123456));
  const TAddressProbe unsized = transport_->Probe(FaultUrl() + "/no-size", File());
  EXPECT_EQ(unsized.code, kTransferOk);
  EXPECT_EQ(unsized.size, std::nullopt);
  EXPECT_EQ(transport_->Probe(FaultUrl() + "/not-found", File()).code, kTransferNotFound);
  EXPECT_EQ(
      transport_->Probe(FaultUrl() + "/redirect?to=" + FaultUrl() + "/ok?size=7", File()).size,
      std::optional<std::uint64_t>(7));
}

class HeadlessHost final : public TDownloadHost {
 public:
  ui::Application& App() override { return app; }
  TTransport& Transport() override { return *transport; }
  TDownloadRegistry& Downloads() override { return registry; }
  void DownloadProgress(std::int64_t, std::int64_t) override {}
  void DownloadFailed(std::uint32_t, const std::string&) override {}
  ui::HeadlessApplication app;
  std::unique_ptr<TTransport> transport = CreatePlatformTransport();
  TDownloadRegistry registry;
};

TEST_F(Win32ResumeTest, CutsAtRandomPointsAreContinuedToTheWholeFile) {
  HeadlessHost host;
  std::mt19937 random(std::random_device{}());
  constexpr std::size_t kSize = 2000000;
  std::vector<std::size_t> cuts(3);
  for (std::size_t& cut : cuts)
    cut = std::uniform_int_distribution<std::size_t>(1, kSize - 1)(random);
  std::sort(cuts.begin(), cuts.end());
  std::string target = "/ranged?size=" + std::to_string(kSize) + "&cut=";
  for (const std::size_t cut : cuts) target += std::to_string(cut) + ",";
  SCOPED_TRACE(target);
  const std::string destination = Narrow((folder_ / "file.bin").wstring());
  TAsyncDownloader download(host, FaultUrl() + target);
  download.ResumeIn(folder_ / "data");
  download.RetryPauses({1ms, 1ms, 1ms});
  download.Download(destination);
  while (!download.Finished()) {
    host.app.WaitForWork(10ms);
    host.app.ProcessMessages();
  }
  EXPECT_EQ(download.Result(), kTransferOk);
  EXPECT_TRUE(ReadWholeFile(folder_ / "file.bin") == PatternBytes(kSize));
}

}  // namespace
}  // namespace ovix
