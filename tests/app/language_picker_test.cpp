#include <gtest/gtest.h>

#include "res/flags.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using testing::HeadlessWindow;
using ui::Bitmap;
using ui::BitmapCanvas;
using ui::TRect;

constexpr ui::Rgb kWhite = 0xFFFFFF;
constexpr ui::Rgb kBackdrop = 0x123456;  // anything the drawing must cover or leave

TEST(LanguagePickerTest, HoldsTenEmptyItemsWithTheLocalesFlagSelected) {
  HeadlessWindow h(TStartup{{}, 0x0422});
  TfWindow& w = h.w();
  EXPECT_EQ(w.ilLanguages.Count(), 10);
  EXPECT_EQ(w.cbLanguage.ItemCount(), w.ilLanguages.Count());
  for (const std::string& item : w.cbLanguage.Items()) EXPECT_EQ(item, "");
  EXPECT_EQ(w.cbLanguage.ItemIndex(), lngUA);
  EXPECT_EQ(w.cbLanguage.Style(), ui::TComboStyle::OwnerDrawFixed);
  EXPECT_EQ(w.cbLanguage.ItemHeight(), 18);
  EXPECT_EQ(w.cbLanguage.Font().height, 13);
}

// Draws item `index` into a rect inside a larger backdrop and returns the surface.
Bitmap DrawItem(TfWindow& w, int index, const TRect& rect) {
  Bitmap surface(rect.Right() + 4, rect.Bottom() + 40, kBackdrop);
  BitmapCanvas canvas(surface);
  w.cbLanguage.DrawItem(index, rect, canvas);
  return surface;
}

TEST(LanguagePickerTest, AtItemHeight18TheFlagIsDrawnUnscaledAndCentredOnWhite) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  const TRect rect{5, 7, 41, 18};
  const Bitmap surface = DrawItem(w, lngFI, rect);
  const Bitmap flag = FlagImages()[lngFI];
  // dx = (41 - 16) / 2 = 12, dy = (18 - 11) / 2 = 3
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(surface.At(17 + x, 10 + y), flag.At(x, y)) << x << "," << y;
  // The rest of the rect is white; outside it nothing is touched.
  EXPECT_EQ(surface.At(5, 7), kWhite);
  EXPECT_EQ(surface.At(16, 10), kWhite);
  EXPECT_EQ(surface.At(33, 10), kWhite);
  EXPECT_EQ(surface.At(45, 24), kWhite);
  EXPECT_EQ(surface.At(4, 7), kBackdrop);
  EXPECT_EQ(surface.At(46, 7), kBackdrop);
  EXPECT_EQ(surface.At(5, 25), kBackdrop);
}

TEST(LanguagePickerTest, TheScaleFollowsTheItemHeight) {
  // 18 px at 120 ppi: 12 px at 80 ppi (k = 0), 26 px at 176 ppi (k = 2).
  HeadlessWindow small(TStartup{}, 80);
  ASSERT_EQ(small.w().cbLanguage.ItemHeight(), 12);
  const Bitmap blank = DrawItem(small.w(), lngDE, {0, 0, 30, 12});
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(blank.At(x, y), kWhite);

  HeadlessWindow large(TStartup{}, 176);
  ASSERT_EQ(large.w().cbLanguage.ItemHeight(), 26);
  const Bitmap surface = DrawItem(large.w(), lngES, {0, 0, 40, 26});
  const Bitmap flag = FlagImages()[lngES];
  // w = 32, h = 22, dx = 4, dy = 2; each flag pixel becomes a 2 x 2 block.
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(surface.At(4 + x, 2 + y), flag.At(x / 2, y / 2));
  EXPECT_EQ(surface.At(3, 2), kWhite);
  EXPECT_EQ(surface.At(36, 2), kWhite);
  EXPECT_EQ(surface.At(4, 24), kWhite);
}

TEST(LanguagePickerTest, TheVerticalOffsetUsesTheItemHeightNotTheRect) {
  HeadlessWindow h;
  // A rect taller than the item (the closed picker's field can be): dy is still 3.
  const Bitmap surface = DrawItem(h.w(), lngPL, {0, 0, 16, 30});
  const Bitmap flag = FlagImages()[lngPL];
  EXPECT_EQ(surface.At(0, 3), flag.At(0, 0));
  EXPECT_EQ(surface.At(15, 13), flag.At(15, 10));
  EXPECT_EQ(surface.At(0, 2), kWhite);
  EXPECT_EQ(surface.At(0, 14), kWhite);
  // A rect narrower than the flag: dx = (10 - 16) / 2 = -3, rounded toward zero; the
  // flag is clipped on both sides.
  const Bitmap narrow = DrawItem(h.w(), lngPL, {10, 0, 10, 18});
  EXPECT_EQ(narrow.At(10, 3), flag.At(3, 0));
}

}  // namespace
}  // namespace ovix
