#pragma once
// A main window on the headless toolkit, built the way the program entry builds it.

#include <memory>

#include "app/main_window.h"
#include "app/window_access.h"
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
};

}  // namespace ovix::testing
