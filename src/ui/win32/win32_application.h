#pragma once
// The real Windows backend: HWND controls, the Windows message loop, and the
// hand-over to the UI thread through a posted message.

#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

#include "os/windows_api.h"
#include "ui/application.h"
#include "ui/win32/win32_handles.h"

namespace ovix::ui::win32 {

class Win32Peer;

class Win32Application final : public Application {
 public:
  Win32Application();
  ~Win32Application() override;

  int Dpi() const override { return dpi_; }
  TSize MeasureText(const TFont& font, std::string_view text) override;
  std::unique_ptr<ControlPeer> CreatePeer(TControl& control) override;
  std::optional<std::string> BrowseForFolder(std::string_view prompt,
                                             std::string_view initial) override;
  std::optional<int> ChooseFromList(const TControl& anchor,
                                    const std::vector<std::string>& items) override;
  void ProcessMessages() override;
  void WaitForWork(std::chrono::milliseconds limit) override;
  void Run(TForm& mainForm) override;

  // Backend internals shared with the peers.
  HFONT FontFor(const TFont& font);
  UINT RegisterPeer(Win32Peer& peer);
  void UnregisterPeer(UINT id);
  Win32Peer* PeerById(UINT id) const;
  TForm* MainForm() const { return mainForm_; }
  HWND MainWindow() const;

 protected:
  TMsgResult ShowMessageBox(std::string_view text, TMsgIcon icon, TMsgButtons buttons) override;
  void WakeUiThread() override;

 private:
  static LRESULT CALLBACK SyncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Dispatch(MSG& message);

  int dpi_;
  WindowHandle syncWindow_;
  TForm* mainForm_ = nullptr;
  std::map<std::tuple<std::string, int, bool>, FontHandle> fonts_;
  std::unordered_map<UINT, Win32Peer*> peers_;
  UINT nextId_ = 100;
};

// The window handle behind a control, once its handles exist; for tests and drivers.
HWND HandleOf(const TControl& control);

}  // namespace ovix::ui::win32
