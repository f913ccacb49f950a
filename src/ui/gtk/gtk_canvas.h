#pragma once
// Owner-drawn items: drawn through a canvas over a bitmap, shown as a pixbuf.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "ui/controls.h"

namespace ovix::ui::gtk {

// A new pixbuf (the caller unrefs it) with the bitmap's pixels.
GdkPixbuf* PixbufFromBitmap(const Bitmap& bitmap);

// Item `index` of an owner-drawn combo box, drawn by the control into an item of `size`.
GdkPixbuf* DrawComboItem(TComboBox& combo, int index, TSize size);

}  // namespace ovix::ui::gtk
