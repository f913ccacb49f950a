#pragma once
// Acting on real windows the way a player (or a test driver) would.

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "os/text.h"
#include "os/windows_api.h"
#include "support/wait_until.h"

namespace ovix::testing {

// Asked of the control itself: GetWindowText does not reach the text of an edit control in
// another process.
inline std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return Narrow(text);
}

inline std::string ClassNameOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return Narrow(name);
}

// Wine shows the Unix file system as drive Z:.
inline std::wstring FromUnixPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return Widen("Z:" + path);
}

inline BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

// Combo boxes are left out: their text is the selected item, which may match anything.
inline HWND ChildWithText(HWND parent, const std::string& text) {
  for (HWND child : Children(parent))
    if (ClassNameOf(child) != "ComboBox" && WindowText(child) == text) return child;
  return nullptr;
}

// A process started by a test; ended, if it still runs, when the test is done with it.
class ChildProcess {
 public:
  explicit ChildProcess(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process_);
  }
  ~ChildProcess() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return started_ != FALSE; }
  DWORD Id() const { return process_.dwProcessId; }
  HANDLE Handle() const { return process_.hProcess; }

  // The process's visible top-level window of the class, or nullptr.
  HWND VisibleWindow(const wchar_t* className) const {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == Id() && IsWindowVisible(window)) return window;
    }
    return nullptr;
  }

 private:
  BOOL started_ = FALSE;
  PROCESS_INFORMATION process_{};
};

inline std::string ComboItemText(HWND combo, int index) {
  const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return "<none>";
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return Narrow(text);
}

// Chooses an item as the user would: the selection, then the notification the
// control sends its parent.
inline void ChooseComboItem(HWND combo, int index) {
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

// Polls until the condition holds, running `pump` between tries; false after the deadline.
inline bool WaitFor(const std::function<bool()>& condition, const std::function<void()>& pump,
                    std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  return test::WaitUntil(condition, limit, pump);
}

struct MessageBoxSearch {
  DWORD processId;
  HWND found;
};

inline BOOL CALLBACK MatchMessageBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MessageBoxSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) && ClassNameOf(window) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The first visible top-level dialog box (#32770) of the given process, if any.
inline HWND FindMessageBox(DWORD processId) {
  MessageBoxSearch search{processId, nullptr};
  EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline BOOL CALLBACK TakeStaticText(HWND child, LPARAM data) {
  if (ClassNameOf(child) != "Static") return TRUE;
  const std::string text = WindowText(child);
  if (text.empty()) return TRUE;
  *reinterpret_cast<std::string*>(data) = text;
  return FALSE;
}

inline BOOL CALLBACK CountButtons(HWND child, LPARAM data) {
  if (ClassNameOf(child) == "Button") ++*reinterpret_cast<int*>(data);
  return TRUE;
}

// The text of a message box: its static control that is not the icon.
inline std::string MessageBoxText(HWND box) {
  std::string text;
  EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&text));
  return text;
}

}  // namespace ovix::testing
