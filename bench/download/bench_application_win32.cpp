#include "bench/download/bench_application.h"
#include "ui/win32/win32_application.h"

namespace ovix::bench {
std::unique_ptr<ui::Application> MakeApplication() {
  return std::make_unique<ui::win32::Win32Application>();
}
}  // namespace ovix::bench
