#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/headless/headless_application.h"

namespace ovix::ui {
namespace {

TForm MakeForm(Application& app) {
  return TForm(
      app, {.className = "TTest", .clientSize = {514, 285}, .font = TFont{"Tahoma", 13, false}});
}

TEST(ScalingTest, DesignPixelsScaleToTheDisplayWithRounding) {
  HeadlessApplication at96(96);
  TForm form(at96,
             {.className = "TTest", .clientSize = {514, 285}, .font = TFont{"Tahoma", 13, false}});
  TButton button(at96, form, {.name = "b", .bounds = {316, 252, 190, 25}});
  TEdit edit(at96, form,
             {.name = "e", .bounds = {16, 23, 342, 22}, .font = TFont{"Tahoma", 14, false}});
  // 514 * 96 / 120 = 411.2, 285 * 0.8 = 228; 25 * 0.8 = 20; 13 * 0.8 = 10.4
  EXPECT_EQ(form.Bounds(), (TRect{0, 0, 411, 228}));
  EXPECT_EQ(button.Bounds(), (TRect{253, 202, 152, 20}));
  EXPECT_EQ(form.Font().height, 10);
  EXPECT_EQ(button.Font().height, 10);  // inherited from the form
  EXPECT_EQ(edit.Font().height, 11);    // 14 * 0.8 = 11.2

  HeadlessApplication at144(144);
  TForm big(at144,
            {.className = "TTest", .clientSize = {514, 285}, .font = TFont{"Tahoma", 13, false}});
  EXPECT_EQ(big.Bounds(), (TRect{0, 0, 617, 342}));  // 616.8 and 342
}

TEST(ScalingTest, MovingToAnotherDpiRescalesTheTreeAndRemeasuresLabels) {
  HeadlessApplication app(120);
  TForm form = MakeForm(app);
  TGroupBox group(app, form, {.name = "g", .bounds = {8, 47, 497, 113}});
  TLabel label(app, group, {.name = "l", .bounds = {16, 81, 92, 16}});
  TComboBox combo(app, form, {.name = "c", .bounds = {8, 253, 45, 24}}, TComboStyle::OwnerDrawFixed,
                  18);
  label.SetCaption("abcd");
  int dpiChanges = 0;
  form.onDpiChanged = [&] { ++dpiChanges; };
  form.NotifyDpiChanged(240);
  EXPECT_EQ(form.Dpi(), 240);
  EXPECT_EQ(dpiChanges, 1);
  EXPECT_EQ(group.Bounds(), (TRect{16, 94, 994, 226}));
  EXPECT_EQ(label.Font().height, 26);
  EXPECT_EQ(label.Left(), 32);
  EXPECT_EQ(label.Width(), app.MeasureText(label.Font(), "abcd").width);
  EXPECT_EQ(combo.ItemHeight(), 36);
}

TEST(LabelTest, SizesItselfToItsText) {
  HeadlessApplication app;
  TForm form = MakeForm(app);
  TLabel label(app, form, {.name = "l", .bounds = {16, 81, 92, 16}});
  label.SetCaption("Ovix version: ");
  EXPECT_EQ(label.Width(), app.MeasureText(label.Font(), "Ovix version: ").width);
  EXPECT_EQ(label.Left(), 16);
  label.SetCaption("one\r\ntwo lines");
  const TSize twoLines = app.MeasureText(label.Font(), "one\r\ntwo lines");
  EXPECT_EQ(label.Height(), twoLines.height);
  EXPECT_EQ(twoLines.height, 2 * app.MeasureText(label.Font(), "one").height);
  EXPECT_EQ(twoLines.width, app.MeasureText(label.Font(), "two lines").width);
}

TEST(EventsTest, OnlyUserActionsRunHandlersAndDisabledControlsIgnoreThem) {
  HeadlessApplication app;
  TForm form = MakeForm(app);
  TButton button(app, form, {.name = "b"});
  TCheckBox check(app, form, {.name = "c"});
  TComboBox combo(app, form, {.name = "m"});
  int clicks = 0, toggles = 0, changes = 0;
  button.onClick = [&] { ++clicks; };
  check.onClick = [&] { ++toggles; };
  combo.onChange = [&] { ++changes; };
  combo.AddItem("a");
  combo.AddItem("b");

  check.SetChecked(true);
  combo.SetItemIndex(1);
  EXPECT_EQ(toggles + changes, 0);

  button.Click();
  check.UserSetChecked(false);
  combo.UserSelect(0);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(toggles, 1);
  EXPECT_FALSE(check.Checked());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(combo.ItemIndex(), 0);

  button.SetEnabled(false);
  check.SetEnabled(false);
  combo.SetEnabled(false);
  button.Click();
  check.UserSetChecked(true);
  combo.UserSelect(1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(toggles, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(combo.ItemIndex(), 0);
}

TEST(EventsTest, AnErrorInAHandlerGoesToTheErrorReport) {
  HeadlessApplication app;
  app.SetTitle("Ovix Updater");
  TForm form = MakeForm(app);
  TButton button(app, form, {.name = "b"});
  button.onClick = [] { throw std::runtime_error("'x' is not a valid integer value"); };
  button.Click();
  ASSERT_EQ(app.Messages().size(), 1u);
  EXPECT_EQ(app.Messages()[0].text, "'x' is not a valid integer value");
  EXPECT_EQ(app.Messages()[0].icon, TMsgIcon::Warning);
  EXPECT_EQ(app.Messages()[0].caption, "Ovix Updater");
}

TEST(ComboBoxTest, ItemsAndSelection) {
  HeadlessApplication app;
  TForm form = MakeForm(app);
  TComboBox combo(app, form, {.name = "m"});
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.AddItem("a");
  combo.SetItemIndex(0);
  combo.SetItem(0, "b");
  EXPECT_EQ(combo.Items(), std::vector<std::string>{"b"});
  EXPECT_EQ(combo.ItemIndex(), 0);
  EXPECT_THROW(combo.SetItem(1, "c"), std::out_of_range);
  combo.SetItemIndex(5);
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.ClearItems();
  EXPECT_EQ(combo.ItemCount(), 0);
}

TEST(TabOrderTest, ChildrenAreOrderedByTabOrderThenCreation) {
  HeadlessApplication app;
  TForm form = MakeForm(app);
  TLabel label(app, form, {.name = "label"});
  TButton third(app, form, {.name = "third", .tabOrder = 2});
  TButton first(app, form, {.name = "first", .tabOrder = 0});
  TLabel label2(app, form, {.name = "label2"});
  TButton second(app, form, {.name = "second", .tabOrder = 1});
  std::vector<std::string> names;
  for (const TControl* c : form.ChildrenInTabOrder()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second", "third", "label", "label2"}));
}

TEST(ImageListTest, KeepsImagesOfItsSizeOnly) {
  TImageList images(2, 1);
  images.Add(Bitmap(2, 1, 0x123456));
  EXPECT_THROW(images.Add(Bitmap(1, 2, 0)), std::invalid_argument);
  EXPECT_EQ(images.Count(), 1);
  EXPECT_EQ(images.GetBitmap(0).At(1, 0), 0x123456u);
  EXPECT_THROW(images.GetBitmap(1), std::out_of_range);
}

TEST(BitmapCanvasTest, FillsAndStretchesWithinTheTarget) {
  Bitmap target(6, 4, 0);
  BitmapCanvas canvas(target);
  canvas.FillRect({-2, -2, 4, 4}, 0xFFFFFF);  // clipped to the target
  EXPECT_EQ(target.At(1, 1), 0xFFFFFFu);
  EXPECT_EQ(target.At(2, 2), 0u);
  Bitmap source(2, 1);
  source.Set(0, 0, 0x0000FF);
  source.Set(1, 0, 0xFF0000);
  canvas.StretchDraw({2, 2, 4, 2}, source);
  EXPECT_EQ(target.At(2, 2), 0x0000FFu);
  EXPECT_EQ(target.At(3, 3), 0x0000FFu);
  EXPECT_EQ(target.At(4, 2), 0xFF0000u);
  EXPECT_EQ(target.At(5, 3), 0xFF0000u);
  canvas.StretchDraw({0, 0, 0, 0}, source);  // nothing to draw, nothing touched
  EXPECT_EQ(target.At(0, 0), 0xFFFFFFu);
}

}  // namespace
}  // namespace ovix::ui
