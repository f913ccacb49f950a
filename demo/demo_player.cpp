// Plays the player for the demo: waits for the updater's window to find the game and
// fill its version list, presses the install button, and waits for the install to end.
// Prints what the window shows. Exit status 0 when the install ran to its end.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "os/text.h"
#include "os/windows_api.h"

namespace {

using namespace std::chrono_literals;

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return ovix::Narrow(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return ovix::Narrow(name);
}

BOOL CALLBACK Collect(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace

int main() {
  HWND edit = nullptr, install = nullptr, status = nullptr, bar = nullptr, versions = nullptr;
  const auto findControls = [&] {
    HWND main = FindWindowW(L"TfWindow", nullptr);
    if (main == nullptr || !IsWindowVisible(main)) return false;
    edit = install = status = bar = versions = nullptr;
    for (HWND child : Children(main)) {
      const std::string kind = ClassOf(child);
      if (kind == "Edit") edit = child;
      if (kind == "msctls_progress32") bar = child;
      if (kind == "Button" && TextOf(child).starts_with("Install")) install = child;
      if (kind == "Static" && TextOf(child).starts_with("Current action")) status = child;
      if (kind == "ComboBox" && !versions) versions = child;
    }
    return edit && install && status && bar && versions;
  };
  if (!WaitFor(findControls, 60s)) {
    std::fprintf(stderr, "demo: the updater's window did not open\n");
    return 1;
  }
  WaitFor([&] { return SendMessageW(versions, CB_GETCOUNT, 0, 0) > 1; }, 30s);
  std::printf("game folder found: %s\n", TextOf(edit).c_str());
  std::printf("pressing \"%s\"\n", TextOf(install).c_str());
  std::fflush(stdout);
  const std::string idle = TextOf(install);
  PostMessageW(install, BM_CLICK, 0, 0);
  WaitFor([&] { return !IsWindowEnabled(install); }, 10s);
  std::string shown;
  const bool ended = WaitFor(
      [&] {
        if (const std::string now = TextOf(status); now != shown) {
          std::printf("  %s\n", (shown = now).c_str());
          std::fflush(stdout);
        }
        return IsWindowEnabled(install) && TextOf(install) == idle;
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
