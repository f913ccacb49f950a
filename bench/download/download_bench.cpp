// Times a download through the downloader exactly as the GETFILE command drives
// it: a worker thread, progress handed to the UI thread and shown on the real
// window's bar, the UI thread waiting in 10 ms steps and pumping messages.
// Usage: download_bench <url> <destination as a Windows path> <runs>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "bench/download/bench_application.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_bench <url> <destination> <runs>\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[3]));
  std::unique_ptr<ovix::ui::Application> app = ovix::bench::MakeApplication();
  ovix::TfWindow window(*app, ovix::TStartup{});
  window.Show();
  std::vector<double> seconds;
  for (int run = 0; run < runs; ++run) {
    const auto begin = std::chrono::steady_clock::now();
    ovix::TAsyncDownloader download(window, argv[1]);
    download.Download(argv[2]);
    do {
      app->WaitForWork(std::chrono::milliseconds(10));
      app->ProcessMessages();
    } while (!download.Finished());
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (download.Result() != 0) {
      std::fprintf(stderr, "download failed: %08X\n", download.Result());
      return 1;
    }
    seconds.push_back(s);
    std::printf("run %d: %.3f s, bar at %d of %d\n", run + 1, s, window.pbCurrentAction.Position(),
                window.pbCurrentAction.Max());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("median %.3f s\n", seconds[seconds.size() / 2]);
  return 0;
}
