#pragma once
// The backend side of one control.

#include "ui/controls.h"

namespace ovix::ui {

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Update(TChange change) = 0;

 protected:
  // Mirrors every piece of the control's state, as a new peer must; the bounds last, once the
  // content that may size the widget is in.
  void PushAll(const TControl& control) {
    if (control.Kind() != TControlKind::Form) Update(TChange::Font);
    Update(TChange::Caption);
    Update(TChange::Enabled);
    switch (control.Kind()) {
      case TControlKind::CheckBox:
        Update(TChange::Checked);
        break;
      case TControlKind::ComboBox:
        Update(TChange::Items);
        break;
      case TControlKind::ProgressBar:
        Update(TChange::Progress);
        break;
      default:
        break;
    }
    Update(TChange::Bounds);
  }
};

}  // namespace ovix::ui
