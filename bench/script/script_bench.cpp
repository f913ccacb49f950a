// Times a long script of STATUS and PERCENT lines run against the real window
// (the headless one where there is no real toolkit).
// Usage: script_bench [lines] [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_access.h"
#include "bench/download/bench_application.h"

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(2, std::atoi(argv[1])) : 40'000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string script;
  for (int i = 0; i < lines / 2; ++i) {
    script += "STATUS_en = Installing package file " + std::to_string(i) + "\r\n";
    script += "PERCENT = " + std::to_string(i % 101) + "\r\n";
  }
  std::unique_ptr<ovix::ui::Application> app = ovix::bench::MakeApplication();
  ovix::TfWindow window(*app, ovix::TStartup{});
  window.Show();
  app->ProcessMessages();
  std::printf("%d lines, %zu bytes\n", lines, script.size());
  std::vector<double> seconds;
  for (int run = 0; run < runs; ++run) {
    const auto begin = std::chrono::steady_clock::now();
    ovix::TfWindowTestAccess::RunScript(window, script);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    std::printf("run %d: %.3f s, button reads \"%s\"\n", run + 1, seconds.back(),
                window.bProcess.Caption().c_str());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("median %.3f s\n", seconds[seconds.size() / 2]);
  return 0;
}
