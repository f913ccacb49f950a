#include "bench/download/bench_application.h"
#include "ui/headless/headless_application.h"

namespace ovix::bench {
std::unique_ptr<ui::Application> MakeApplication() {
  return std::make_unique<ui::HeadlessApplication>();
}
}  // namespace ovix::bench
