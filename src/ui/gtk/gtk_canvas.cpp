#include "ui/gtk/gtk_canvas.h"

#include <cstdint>

namespace ovix::ui::gtk {

GdkPixbuf* PixbufFromBitmap(const Bitmap& bitmap) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, bitmap.width, bitmap.height);
  if (!pixbuf) return nullptr;
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guchar* rows = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < bitmap.height; ++y) {
    guchar* out = rows + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < bitmap.width; ++x) {
      const Rgb colour = bitmap.At(x, y);
      *out++ = static_cast<guchar>((colour >> 16) & 0xFF);
      *out++ = static_cast<guchar>((colour >> 8) & 0xFF);
      *out++ = static_cast<guchar>(colour & 0xFF);
    }
  }
  return pixbuf;
}

GdkPixbuf* DrawComboItem(TComboBox& combo, int index, TSize size) {
  Bitmap item(size.width, size.height, MakeRgb(255, 255, 255));
  BitmapCanvas canvas(item);
  combo.DrawItem(index, {0, 0, size.width, size.height}, canvas);
  return PixbufFromBitmap(item);
}

}  // namespace ovix::ui::gtk
