#include "ui/win32/win32_application.h"

#include "os/system_library_win32.h"
#include "os/text.h"
#include "ui/win32/win32_peer.h"

namespace ovix::ui::win32 {
namespace {

constexpr UINT kRunSteps = WM_APP + 1;
constexpr wchar_t kSyncClass[] = L"OvixUpdaterHandOver";

int QuerySystemDpi() {
  // Per-monitor aware processes get the primary display's DPI here; the window
  // follows later moves through WM_DPICHANGED.
  if (const auto getDpi = FindFunction<decltype(::GetDpiForSystem)>(GetModuleHandleW(L"user32.dll"),
                                                                    "GetDpiForSystem")) {
    if (const UINT dpi = getDpi(); dpi > 0) return static_cast<int>(dpi);
  }
  ScreenDc dc;
  const int dpi = GetDeviceCaps(dc.Get(), LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

struct BrowseStart {
  HWND owner;
  const wchar_t* initial;  // nullptr: nothing preselected
};

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) return 0;
  const auto& start = *reinterpret_cast<const BrowseStart*>(data);
  // Centred on the monitor the main window is on, where the player is looking.
  MONITORINFO monitor{sizeof(monitor)};
  RECT box;
  if (GetMonitorInfoW(
          MonitorFromWindow(start.owner ? start.owner : window, MONITOR_DEFAULTTONEAREST),
          &monitor) &&
      GetWindowRect(window, &box)) {
    const RECT& area = monitor.rcWork;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (start.initial)
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start.initial));
  return 0;
}

}  // namespace

Win32Application::Win32Application() : dpi_(QuerySystemDpi()) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SyncWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kSyncClass;
  RegisterClassExW(&wc);
  syncWindow_.reset(CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr));
  SetWindowLongPtrW(syncWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Application::~Win32Application() {
  Terminate();
  SetWindowLongPtrW(syncWindow_.get(), GWLP_USERDATA, 0);
}

LRESULT CALLBACK Win32Application::SyncWindowProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == kRunSteps) {
    if (auto* app = reinterpret_cast<Win32Application*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
      app->RunPendingSteps();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Application::WakeUiThread() { PostMessageW(syncWindow_.get(), kRunSteps, 0, 0); }

HFONT Win32Application::FontFor(const TFont& font) {
  auto key = std::make_tuple(font.name, font.height, font.underline);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second.get();
  // A negative height asks for the character height, without internal leading.
  FontHandle created(CreateFontW(-font.height, 0, 0, 0, FW_NORMAL, FALSE, font.underline, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                 Widen(font.name).c_str()));
  HFONT handle = created.get();
  fonts_.emplace(std::move(key), std::move(created));
  return handle;
}

TSize Win32Application::MeasureText(const TFont& font, std::string_view text) {
  ScreenDc dc;
  SelectedObject selected(dc.Get(), FontFor(font));
  const std::wstring wide = Widen(text);
  RECT rect{0, 0, 0, 0};
  if (wide.empty()) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    return {0, static_cast<int>(metrics.tmHeight)};
  }
  DrawTextW(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &rect,
            DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS);
  return {static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top)};
}

std::unique_ptr<ControlPeer> Win32Application::CreatePeer(TControl& control) {
  return std::make_unique<Win32Peer>(*this, control);
}

UINT Win32Application::RegisterPeer(Win32Peer& peer) {
  const UINT id = nextId_++;
  peers_[id] = &peer;
  return id;
}

void Win32Application::UnregisterPeer(UINT id) { peers_.erase(id); }

Win32Peer* Win32Application::PeerById(UINT id) const {
  const auto found = peers_.find(id);
  return found == peers_.end() ? nullptr : found->second;
}

HWND Win32Application::MainWindow() const { return mainForm_ ? HandleOf(*mainForm_) : nullptr; }

TMsgResult Win32Application::ShowMessageBox(std::string_view text, TMsgIcon icon,
                                            TMsgButtons buttons) {
  // No owner window; task-modal so the main window cannot be clicked again
  // underneath the box.
  UINT style = MB_TASKMODAL | MB_SETFOREGROUND;
  style |= icon == TMsgIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION;
  style |= buttons == TMsgButtons::YesNo ? MB_YESNO : MB_OK;
  const int answer = ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(Title()).c_str(), style);
  if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
  return answer == IDYES ? TMsgResult::Yes : TMsgResult::No;
}

std::optional<std::string> Win32Application::BrowseForFolder(std::string_view prompt,
                                                             std::string_view initial) {
  const std::wstring title = Widen(prompt);
  const std::wstring start = Widen(initial);
  BROWSEINFOW info{};
  info.hwndOwner = MainWindow();
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
  const BrowseStart browseStart{MainWindow(), start.empty() ? nullptr : start.c_str()};
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&browseStart);
  // Browsing an empty removable drive must not raise a system dialog.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  SetErrorMode(previousMode);
  if (!chosen) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!ok) return std::nullopt;
  return Narrow(path);
}

std::optional<int> Win32Application::ChooseFromList(const TControl& anchor,
                                                    const std::vector<std::string>& items) {
  // A pop-up menu under the anchor, answered before it returns.
  MenuHandle menu(CreatePopupMenu());
  for (std::size_t i = 0; i < items.size(); ++i) {
    AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(i + 1), Widen(items[i]).c_str());
  }
  RECT box{};
  GetWindowRect(HandleOf(anchor), &box);
  const int chosen = TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN,
                                      box.left, box.bottom, MainWindow(), nullptr);
  if (chosen <= 0) return std::nullopt;
  return chosen - 1;
}

void Win32Application::Dispatch(MSG& message) {
  HWND main = MainWindow();
  // Gives the main window dialog keyboard handling (Tab, arrows, Space).
  if (main && IsDialogMessageW(main, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32Application::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      Terminate();
      continue;
    }
    Dispatch(message);
  }
  RunPendingSteps();
}

void Win32Application::WaitForWork(std::chrono::milliseconds limit) {
  // Hand-overs post a message, so waiting for input covers both.
  if (HasPendingSteps()) return;
  MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(limit.count()), QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
}

void Win32Application::Run(TForm& mainForm) {
  mainForm_ = &mainForm;
  mainForm.Show();
  MSG message;
  while (!Terminated()) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
    Dispatch(message);
  }
  Terminate();
}

}  // namespace ovix::ui::win32
