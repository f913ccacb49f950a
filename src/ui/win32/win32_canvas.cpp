#include "ui/win32/win32_canvas.h"

#include <vector>

#include "ui/win32/win32_handles.h"

namespace ovix::ui::win32 {
namespace {

COLORREF ToColorRef(Rgb colour) {
  return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

}  // namespace

void Win32Canvas::FillRect(const TRect& rect, Rgb colour) {
  BrushHandle brush(CreateSolidBrush(ToColorRef(colour)));
  RECT r{rect.left, rect.top, rect.Right(), rect.Bottom()};
  ::FillRect(dc_, &r, brush.get());
}

void Win32Canvas::StretchDraw(const TRect& dest, const Bitmap& bitmap) {
  if (bitmap.width <= 0 || bitmap.height <= 0 || dest.width <= 0 || dest.height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = bitmap.width;
  info.bmiHeader.biHeight = -bitmap.height;  // top row first, as Bitmap stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // 0x00RRGGBB is exactly the byte order of a 32-bit BI_RGB pixel (B, G, R, unused).
  const int oldMode = SetStretchBltMode(dc_, COLORONCOLOR);
  StretchDIBits(dc_, dest.left, dest.top, dest.width, dest.height, 0, 0, bitmap.width,
                bitmap.height, bitmap.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc_, oldMode);
}

}  // namespace ovix::ui::win32
