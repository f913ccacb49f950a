// Closing the window while transfers hang must neither hang nor crash.

#include <gtest/gtest.h>

#include <chrono>

#include "support/fault_server.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

TEST(ShutdownTest, ClosingDuringStalledTransfersEndsThemAll) {
  test::Sandbox sandbox;
  test::FaultServer server;
  // Every list request goes to a server that sends half a body and falls silent;
  // the transfers themselves would only give up after a minute.
  auto h =
      std::make_unique<testing::HeadlessWindow>(TStartup{.serviceUrl = server.Url("/stall?x=")});
  TfWindow& w = h->w();
  w.ApplyGameDirectory();
  // Owned by an install step, as the script download and GETFILE are.
  auto owned = std::make_unique<TAsyncDownloader>(w, server.Url("/stall"));
  const std::string destination = sandbox.Dir() + "\\big.bin";
  owned->Download(destination);
  // The UI thread serves the progress hand-overs meanwhile.
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        h->app.ProcessMessages();
        return server.Requests().size() >= 3;
      },
      20s))
      << ::testing::PrintToString(server.Requests());

  // The window closes: the wait loop ends, the install step frees its download,
  // then the window goes and takes the list downloads with it.
  const auto started = std::chrono::steady_clock::now();
  h->app.Terminate();
  owned.reset();
  h.reset();
  // A generous bound: it shows the transfers were cut short rather than timed out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  EXPECT_FALSE(std::filesystem::exists(sandbox.Local(destination)));
}

}  // namespace
}  // namespace ovix
