#pragma once
// The backend side of one control.

#include "ui/controls.h"

namespace ovix::ui {

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Update(TChange change) = 0;
};

}  // namespace ovix::ui
