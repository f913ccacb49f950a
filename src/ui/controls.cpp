#include "ui/controls.h"

#include <algorithm>
#include <stdexcept>

#include "ui/application.h"
#include "ui/control_peer.h"

namespace ovix::ui {
namespace {

// Rounds to nearest, as scaling a dialog by a DPI ratio does.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

TRect ScaleRect(const TRect& r, int num, int den) {
  return {MulDiv(r.left, num, den), MulDiv(r.top, num, den), MulDiv(r.width, num, den),
          MulDiv(r.height, num, den)};
}

}  // namespace

TControl::TControl(Application& app, TControl* parent, TControlKind kind, const TControlArgs& args)
    : app_(app),
      parent_(parent),
      kind_(kind),
      name_(args.name),
      bounds_(args.bounds),
      anchors_(args.anchors),
      tabOrder_(args.tabOrder),
      enabled_(args.enabled) {
  const int dpi = app.Dpi();
  bounds_ = ScaleRect(args.bounds, dpi, kDesignDpi);
  if (args.font) {
    font_ = *args.font;
    font_.height = MulDiv(font_.height, dpi, kDesignDpi);
  } else if (parent) {
    font_ = parent->font_;
  } else {
    font_.height = MulDiv(font_.height, dpi, kDesignDpi);
  }
  if (parent) parent->children_.push_back(this);
}

TControl::~TControl() {
  peer_.reset();
  if (parent_) std::erase(parent_->children_, this);
}

std::vector<TControl*> TControl::ChildrenInTabOrder() const {
  std::vector<TControl*> ordered = children_;
  std::stable_sort(ordered.begin(), ordered.end(), [](const TControl* a, const TControl* b) {
    const bool aStop = a->tabOrder_ >= 0;
    const bool bStop = b->tabOrder_ >= 0;
    if (aStop != bStop) return aStop;
    return aStop && a->tabOrder_ < b->tabOrder_;
  });
  return ordered;
}

void TControl::SetBounds(const TRect& bounds) {
  if (bounds == bounds_) return;
  bounds_ = bounds;
  Changed(TChange::Bounds);
}

void TControl::SetLeft(int left) { SetBounds({left, bounds_.top, bounds_.width, bounds_.height}); }

void TControl::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed(TChange::Caption);
  AfterCaptionChange();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(TChange::Enabled);
}

void TControl::CreateHandles() {
  if (!peer_) peer_ = app_.CreatePeer(*this);
  for (TControl* child : ChildrenInTabOrder()) child->CreateHandles();
}

void TControl::ScaleBy(int newDpi, int oldDpi) {
  if (newDpi == oldDpi) return;
  if (parent_) bounds_ = ScaleRect(bounds_, newDpi, oldDpi);
  font_.height = MulDiv(font_.height, newDpi, oldDpi);
  Changed(TChange::Font);
  Changed(TChange::Bounds);
  for (TControl* child : children_) child->ScaleBy(newDpi, oldDpi);
  AfterScale(newDpi);
}

void TControl::Changed(TChange change) {
  if (peer_) peer_->Update(change);
}

void TControl::Fire(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (...) {
    app_.ShowException(std::current_exception());
  }
}

TLabel::TLabel(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::Label, args) {}

void TLabel::AfterCaptionChange() {
  const TSize size = App().MeasureText(Font(), Caption());
  SetBounds({Left(), Top(), size.width, size.height});
}

TGroupBox::TGroupBox(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::GroupBox, args) {}

TEdit::TEdit(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::Edit, args) {}

TButton::TButton(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::Button, args) {}

void TButton::Click() {
  if (Enabled()) Fire(onClick);
}

TCheckBox::TCheckBox(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::CheckBox, args) {}

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed(TChange::Checked);
}

void TCheckBox::UserSetChecked(bool checked) {
  if (!Enabled() || checked == checked_) return;
  checked_ = checked;
  Changed(TChange::Checked);
  Fire(onClick);
}

void BitmapCanvas::FillRect(const TRect& rect, Rgb colour) {
  const int x0 = std::max(rect.left, 0), x1 = std::min(rect.Right(), target_.width);
  const int y0 = std::max(rect.top, 0), y1 = std::min(rect.Bottom(), target_.height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) target_.Set(x, y, colour);
}

void BitmapCanvas::StretchDraw(const TRect& dest, const Bitmap& bitmap) {
  if (dest.width <= 0 || dest.height <= 0 || bitmap.width <= 0 || bitmap.height <= 0) return;
  const int x0 = std::max(dest.left, 0), x1 = std::min(dest.Right(), target_.width);
  const int y0 = std::max(dest.top, 0), y1 = std::min(dest.Bottom(), target_.height);
  for (int y = y0; y < y1; ++y) {
    const int sy = (y - dest.top) * bitmap.height / dest.height;
    for (int x = x0; x < x1; ++x) {
      const int sx = (x - dest.left) * bitmap.width / dest.width;
      target_.Set(x, y, bitmap.At(sx, sy));
    }
  }
}

TComboBox::TComboBox(Application& app, TControl& parent, const TControlArgs& args,
                     TComboStyle style, int designItemHeight)
    : TControl(app, &parent, TControlKind::ComboBox, args),
      style_(style),
      designItemHeight_(designItemHeight),
      itemHeight_(MulDiv(designItemHeight, app.Dpi(), kDesignDpi)) {}

void TComboBox::AfterScale(int newDpi) {
  itemHeight_ = MulDiv(designItemHeight_, newDpi, kDesignDpi);
  Changed(TChange::Items);
}

void TComboBox::ClearItems() {
  items_.clear();
  itemIndex_ = -1;
  Changed(TChange::Items);
}

void TComboBox::AddItem(std::string text) {
  items_.push_back(std::move(text));
  Changed(TChange::Items);
}

void TComboBox::SetItem(int index, std::string text) {
  if (index < 0 || index >= ItemCount()) throw std::out_of_range("List index out of bounds");
  items_[static_cast<std::size_t>(index)] = std::move(text);
  Changed(TChange::Items);
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= ItemCount()) index = -1;
  itemIndex_ = index;
  Changed(TChange::ItemIndex);
}

void TComboBox::UserSelect(int index) {
  if (!Enabled() || index < 0 || index >= ItemCount()) return;
  itemIndex_ = index;
  Changed(TChange::ItemIndex);
  Fire(onChange);
}

void TComboBox::DrawItem(int index, const TRect& rect, TCanvas& canvas) {
  if (onDrawItem) Fire([&] { onDrawItem(*this, index, rect, canvas); });
}

TProgressBar::TProgressBar(Application& app, TControl& parent, const TControlArgs& args)
    : TControl(app, &parent, TControlKind::ProgressBar, args) {}

void TProgressBar::SetMax(int max) {
  max_ = max;
  Changed(TChange::Progress);
}

void TProgressBar::SetPosition(int position) {
  position_ = position;
  Changed(TChange::Progress);
}

void TProgressBar::SetState(TProgressState state) {
  state_ = state;
  Changed(TChange::Progress);
}

void TImageList::Add(Bitmap image) {
  if (image.width != width_ || image.height != height_ ||
      image.pixels.size() != static_cast<std::size_t>(width_ * height_)) {
    throw std::invalid_argument("Image size does not match the image list");
  }
  images_.push_back(std::move(image));
}

Bitmap TImageList::GetBitmap(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range("Image index out of bounds");
  return images_[static_cast<std::size_t>(index)];
}

TForm::TForm(Application& app, const TFormArgs& args)
    : TControl(app, nullptr, TControlKind::Form,
               TControlArgs{.name = args.className,
                            .bounds = {0, 0, args.clientSize.width, args.clientSize.height},
                            .font = args.font}),
      className_(args.className),
      dpi_(app.Dpi()) {}

TForm::~TForm() = default;

void TForm::Show() {
  CreateHandles();
  visible_ = true;
  Changed(TChange::Visible);
}

void TForm::Close() {
  visible_ = false;
  Changed(TChange::Visible);
  Fire(onClose);
}

void TForm::NotifyDpiChanged(int newDpi) {
  ScaleBy(newDpi, dpi_);
  dpi_ = newDpi;
  Fire(onDpiChanged);
}

}  // namespace ovix::ui
