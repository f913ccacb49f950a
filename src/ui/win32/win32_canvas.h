#pragma once
// A canvas over a device context, for owner-drawn items.

#include "os/windows_api.h"
#include "ui/controls.h"

namespace ovix::ui::win32 {

class Win32Canvas final : public TCanvas {
 public:
  explicit Win32Canvas(HDC dc) : dc_(dc) {}
  void FillRect(const TRect& rect, Rgb colour) override;
  void StretchDraw(const TRect& dest, const Bitmap& bitmap) override;

 private:
  HDC dc_;
};

}  // namespace ovix::ui::win32
