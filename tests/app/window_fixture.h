#pragma once
// A main window on the headless toolkit, built the way the program entry builds it.

#include <chrono>
#include <memory>

#include "app/main_window.h"
#include "app/window_access.h"
#include "support/wait_until.h"
#include "ui/headless/headless_application.h"

namespace ovix::testing {

struct HeadlessWindow {
  explicit HeadlessWindow(TStartup startup = {}, int dpi = ui::kDesignDpi) : app(dpi) {
    app.SetTitle("Ovix Updater");
    window = std::make_unique<TfWindow>(app, startup);
  }
  ui::HeadlessApplication app;
  std::unique_ptr<TfWindow> window;
  TfWindow& w() { return *window; }
  // Lets every answer in flight arrive and be handed over; false when some did not in time.
  bool Settle() {
    using namespace std::chrono_literals;
    test::WaitUntil(
        [&] {
          w().Downloads().Reap();
          return w().Downloads().Count() == 0;
        },
        30s, [&] { app.ProcessMessages(); });
    app.ProcessMessages();
    return w().Downloads().Count() == 0;
  }
};

}  // namespace ovix::testing
