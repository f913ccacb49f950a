#pragma once
// Test access to the main window.

#include <string>

#include "app/main_window.h"

namespace ovix {

// The window's private entries that tests drive directly.
struct TfWindowTestAccess {
  static int RunScript(TfWindow& window, const std::string& script, bool execute = true) {
    return window.RunScript(script, execute);
  }
  static bool PrepareScript(TfWindow& window, std::string& script, const std::string& version) {
    return window.PrepareScript(script, version);
  }
};

}  // namespace ovix
