// Plays the player for the demo: waits for the updater's window to find the game and
// fill its version list, presses the install button, and waits for the install to end.
// Prints what the window shows. Exit status 0 when the install ran to its end.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

// The helpers the Windows tests drive windows from outside with.
#include "win32/win32_test_util.h"

namespace {

using namespace std::chrono_literals;
using ovix::testing::Children;
using ovix::testing::ClassNameOf;
using ovix::testing::WindowText;

// Polls the condition every 20 ms until it holds or the limit has passed.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  return ovix::testing::WaitFor(
      condition, [] { Sleep(20); }, limit);
}

}  // namespace

int main() {
  HWND edit = nullptr, install = nullptr, status = nullptr, bar = nullptr, versions = nullptr;
  const auto findControls = [&] {
    HWND main = FindWindowW(L"TfWindow", nullptr);
    if (main == nullptr || !IsWindowVisible(main)) return false;
    edit = install = status = bar = versions = nullptr;
    for (HWND child : Children(main)) {
      const std::string kind = ClassNameOf(child);
      if (kind == "Edit") edit = child;
      if (kind == "msctls_progress32") bar = child;
      if (kind == "Button" && WindowText(child).starts_with("Install")) install = child;
      if (kind == "Static" && WindowText(child).starts_with("Current action")) status = child;
      if (kind == "ComboBox" && !versions) versions = child;
    }
    return edit && install && status && bar && versions;
  };
  if (!WaitFor(findControls, 60s)) {
    std::fprintf(stderr, "demo: the updater's window did not open\n");
    return 1;
  }
  WaitFor([&] { return SendMessageW(versions, CB_GETCOUNT, 0, 0) > 1; }, 30s);
  std::printf("game folder found: %s\n", WindowText(edit).c_str());
  std::printf("pressing \"%s\"\n", WindowText(install).c_str());
  std::fflush(stdout);
  const std::string idle = WindowText(install);
  PostMessageW(install, BM_CLICK, 0, 0);
  WaitFor([&] { return !IsWindowEnabled(install); }, 10s);
  std::string shown;
  const bool ended = WaitFor(
      [&] {
        if (const std::string now = WindowText(status); now != shown) {
          std::printf("  %s\n", (shown = now).c_str());
          std::fflush(stdout);
        }
        return IsWindowEnabled(install) && WindowText(install) == idle;
      },
      180s);
  // The window paints itself before the script takes its picture.
  HWND main = GetAncestor(install, GA_ROOT);
  RedrawWindow(main, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  const auto position = SendMessageW(bar, PBM_GETPOS, 0, 0);
  std::printf("install %s; progress bar at %d%%\n", ended ? "ended" : "did not end in time",
              static_cast<int>(position));
  return ended && position == 100 ? 0 : 1;
}
