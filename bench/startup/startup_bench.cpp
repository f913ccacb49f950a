// Times process start to visible window for the program and for the minimal
// yardstick, alternating runs so both see the same machine state.
// Usage: startup_bench <runs> <exe> <class> <exe> <class> ...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "os/text.h"
#include "os/windows_api.h"

namespace {

struct Subject {
  std::wstring exe;
  std::wstring windowClass;
  std::vector<double> milliseconds;
};

HWND VisibleWindowOf(const std::wstring& windowClass, DWORD processId) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, windowClass.c_str(), nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// One run: milliseconds from CreateProcess to the window being visible, or -1.
double TimeOneStart(const Subject& subject) {
  std::wstring commandLine = L"\"" + subject.exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const auto begin = std::chrono::steady_clock::now();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  HWND window = nullptr;
  const auto deadline = begin + std::chrono::seconds(60);
  while (!(window = VisibleWindowOf(subject.windowClass, process.dwProcessId)) &&
         std::chrono::steady_clock::now() < deadline) {
    Sleep(1);
  }
  const auto end = std::chrono::steady_clock::now();
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!window) return -1;
  return std::chrono::duration<double, std::milli>(end - begin).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 2) % 2 != 0) {
    std::fprintf(stderr, "usage: startup_bench <runs> <exe> <class> [<exe> <class> ...]\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<Subject> subjects;
  for (int i = 2; i + 1 < argc; i += 2)
    subjects.push_back({ovix::Widen(argv[i]), ovix::Widen(argv[i + 1]), {}});
  // One unmeasured start each, so both find Wine and the files warm.
  for (const Subject& s : subjects) TimeOneStart(s);
  for (int run = 0; run < runs; ++run) {
    for (Subject& s : subjects) {
      const double ms = TimeOneStart(s);
      if (ms < 0) {
        std::fprintf(stderr, "no window from %s\n", ovix::Narrow(s.exe).c_str());
        return 1;
      }
      s.milliseconds.push_back(ms);
    }
  }
  for (const Subject& s : subjects) {
    const auto [lo, hi] = std::minmax_element(s.milliseconds.begin(), s.milliseconds.end());
    std::printf("%-40s median %8.1f ms  min %8.1f  max %8.1f  (%d runs)\n",
                ovix::Narrow(s.exe).c_str(), Median(s.milliseconds), *lo, *hi, runs);
  }
  if (subjects.size() >= 2) {
    std::printf("ratio of medians: %.2f\n",
                Median(subjects[0].milliseconds) / Median(subjects[1].milliseconds));
  }
  return 0;
}
