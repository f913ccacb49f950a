#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/wait_until.h"
#include "ui/headless/headless_application.h"

namespace ovix::ui {
namespace {

using namespace std::chrono_literals;

// Pumps the UI thread until the condition holds; fails the test after a deadline
// instead of hanging.
template <typename Condition>
bool PumpUntil(Application& app, Condition done) {
  return test::WaitUntil(done, 20s, [&] { app.ProcessMessages(); });
}

TEST(HandOverTest, StepsRunOnTheUiThreadAndTheWorkerWaitsForThem) {
  HeadlessApplication app;
  const auto uiThread = std::this_thread::get_id();
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  bool result = false;
  std::thread worker([&] {
    result = app.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  ASSERT_TRUE(PumpUntil(app, [&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(ranOn, uiThread);
}

TEST(HandOverTest, OnTheUiThreadAStepRunsAtOnce) {
  HeadlessApplication app;
  int runs = 0;
  EXPECT_TRUE(app.Synchronize([&] { ++runs; }));
  EXPECT_EQ(runs, 1);
}

TEST(HandOverTest, AnErrorInTheStepIsRaisedInTheWorker) {
  HeadlessApplication app;
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      app.Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "step failed";
    }
  });
  ASSERT_TRUE(PumpUntil(app, [&] { return caught.load(); }));
  worker.join();
}

TEST(HandOverTest, TerminatingDropsQueuedAndLaterSteps) {
  HeadlessApplication app;
  std::atomic<int> ran{0};
  std::atomic<int> dropped{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 8; ++i) {
    workers.emplace_back([&] {
      if (app.Synchronize([&] { ++ran; })) return;
      ++dropped;
    });
  }
  // Nobody pumps: the workers stay blocked, their steps queued, until termination releases them.
  ASSERT_TRUE(test::WaitUntil([&] { return app.QueuedSteps() == 8; }, 20s));
  app.Terminate();
  for (auto& w : workers) w.join();
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(dropped.load(), 8);
  std::thread late([&] { EXPECT_FALSE(app.Synchronize([&] { ++ran; })); });
  late.join();
  EXPECT_EQ(ran.load(), 0);
}

TEST(HandOverTest, ManyWorkersAllGetTheirStepsRunInOrderPerWorker) {
  HeadlessApplication app;
  constexpr int kWorkers = 6;
  constexpr int kSteps = 200;
  std::vector<std::vector<int>> seen(kWorkers);
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int s = 0; s < kSteps; ++s) app.Synchronize([&, w, s] { seen[w].push_back(s); });
      ++finished;
    });
  }
  ASSERT_TRUE(PumpUntil(app, [&] { return finished.load() == kWorkers; }));
  for (auto& w : workers) w.join();
  for (const auto& steps : seen) {
    ASSERT_EQ(steps.size(), static_cast<std::size_t>(kSteps));
    for (int s = 0; s < kSteps; ++s) EXPECT_EQ(steps[s], s);
  }
}

TEST(HandOverTest, AModalMessageBoxKeepsServingHandOvers) {
  HeadlessApplication app;
  std::atomic<bool> stepRan{false};
  std::thread worker([&] { app.Synchronize([&] { stepRan = true; }); });
  // Only message boxes serve the queue here, never ProcessMessages.
  EXPECT_TRUE(test::WaitUntil([&] { return stepRan.load(); }, 20s,
                              [&] { app.MessageBox("busy", TMsgIcon::Information); }));
  if (!stepRan) app.Terminate();
  worker.join();
}

TEST(HeadlessMessagesTest, BoxesAreRecordedWithTheTitleAndAnsweredFromTheScript) {
  HeadlessApplication app;
  app.SetTitle("Ovix Updater");
  app.QueueAnswer(TMsgResult::Yes);
  EXPECT_EQ(app.MessageBox("first", TMsgIcon::Warning), TMsgResult::Ok);
  EXPECT_EQ(app.MessageBox("retry?", TMsgIcon::Warning, TMsgButtons::YesNo), TMsgResult::Yes);
  EXPECT_EQ(app.MessageBox("again?", TMsgIcon::Warning, TMsgButtons::YesNo), TMsgResult::No);
  ASSERT_EQ(app.Messages().size(), 3u);
  EXPECT_EQ(app.Messages()[0],
            (ShownMessage{"first", "Ovix Updater", TMsgIcon::Warning, TMsgButtons::Ok}));
  EXPECT_EQ(app.Messages()[1].buttons, TMsgButtons::YesNo);

  app.QueueFolderPick("C:\\Games");
  app.QueueFolderPick(std::nullopt);
  EXPECT_EQ(app.BrowseForFolder("pick", ""), "C:\\Games");
  EXPECT_EQ(app.BrowseForFolder("pick", ""), std::nullopt);
  EXPECT_EQ(app.BrowseForFolder("pick", ""), std::nullopt);
}

TEST(HeadlessRunTest, RunEndsWhenTheFormClosesFromAHandOver) {
  HeadlessApplication app;
  TForm form(app, {.className = "TTest", .clientSize = {100, 50}, .font = {}});
  std::thread closer([&] { app.Synchronize([&] { form.Close(); }); });
  app.Run(form);
  closer.join();
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(app.Terminated());
}

}  // namespace
}  // namespace ovix::ui
