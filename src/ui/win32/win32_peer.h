#pragma once
// One HWND mirroring one control.

#include "os/windows_api.h"
#include "ui/control_peer.h"
#include "ui/win32/win32_handles.h"

namespace ovix::ui::win32 {

class Win32Application;

class Win32Peer final : public ControlPeer {
 public:
  Win32Peer(Win32Application& app, TControl& control);
  ~Win32Peer() override;

  void Update(TChange change) override;
  HWND Handle() const { return window_.get(); }
  TControl& Control() const { return control_; }

  // Notifications from the window procedures.
  void OnCommand(WORD code);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  void OnMeasureItem(MEASUREITEMSTRUCT& item);

  // Routes the notifications a parent receives to the child they concern.
  static bool RouteToChild(Win32Application& app, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT& result);

 private:
  void CreateForm();
  void CreateChild();
  void PlaceWindow();

  Win32Application& app_;
  TControl& control_;
  UINT id_;
  WindowHandle window_;
};

}  // namespace ovix::ui::win32
