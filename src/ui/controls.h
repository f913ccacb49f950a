#pragma once
// The small control toolkit the main window is built from. Controls hold their
// own state; a backend peer mirrors it on screen (win32) or nowhere (headless).
// Geometry is given at 120 pixels per inch and scaled once to the display's DPI.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/bitmap.h"

namespace ovix::ui {

class Application;
class ControlPeer;

inline constexpr int kDesignDpi = 120;

struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool operator==(const TRect&) const = default;
};

struct TSize {
  int width = 0;
  int height = 0;
  bool operator==(const TSize&) const = default;
};

enum TAnchor : std::uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = std::uint8_t;

struct TFont {
  std::string name = "Tahoma";
  int height = 13;  // character height in pixels
  bool underline = false;
  bool operator==(const TFont&) const = default;
};

enum class TControlKind { Form, Label, GroupBox, CheckBox, Edit, Button, ComboBox, ProgressBar };

// What changed on a control, so its peer updates only that.
enum class TChange { Bounds, Caption, Enabled, Font, Checked, Items, ItemIndex, Progress, Visible };

// Creation arguments; bounds and font height at 120 ppi.
struct TControlArgs {
  std::string name;
  TRect bounds;
  TAnchors anchors = akLeft | akTop;
  int tabOrder = -1;          // -1: not reached with the Tab key
  std::optional<TFont> font;  // unset: the parent's font
  bool enabled = true;
};

class TControl {
 public:
  TControl(Application& app, TControl* parent, TControlKind kind, const TControlArgs& args);
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  Application& App() const { return app_; }
  TControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  TControl* Parent() const { return parent_; }
  const std::vector<TControl*>& Children() const { return children_; }
  // Children ordered by tab order; those without one follow in creation order.
  std::vector<TControl*> ChildrenInTabOrder() const;

  const TRect& Bounds() const { return bounds_; }
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  void SetBounds(const TRect& bounds);
  void SetLeft(int left);

  TAnchors Anchors() const { return anchors_; }
  int TabOrder() const { return tabOrder_; }
  const TFont& Font() const { return font_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  ControlPeer* Peer() const { return peer_.get(); }
  // Creates the backend peers of this control and its subtree.
  void CreateHandles();
  // Rescales geometry and fonts when the window moves to a display of another DPI.
  void ScaleBy(int newDpi, int oldDpi);

 protected:
  void Changed(TChange change);
  // Runs an event handler; an error that escapes it goes to the application's report.
  void Fire(const std::function<void()>& handler);
  virtual void AfterCaptionChange() {}
  virtual void AfterScale(int /*newDpi*/) {}

 private:
  Application& app_;
  TControl* parent_;
  TControlKind kind_;
  std::string name_;
  TRect bounds_;
  TAnchors anchors_;
  int tabOrder_;
  TFont font_;
  std::string caption_;
  bool enabled_;
  std::vector<TControl*> children_;
  std::unique_ptr<ControlPeer> peer_;
};

class TLabel : public TControl {
 public:
  TLabel(Application& app, TControl& parent, const TControlArgs& args);

 protected:
  // Labels size themselves to their text.
  void AfterCaptionChange() override;
  void AfterScale(int /*newDpi*/) override { AfterCaptionChange(); }
};

class TGroupBox : public TControl {
 public:
  TGroupBox(Application& app, TControl& parent, const TControlArgs& args);
};

class TEdit : public TControl {
 public:
  TEdit(Application& app, TControl& parent, const TControlArgs& args);
};

class TButton : public TControl {
 public:
  TButton(Application& app, TControl& parent, const TControlArgs& args);
  std::function<void()> onClick;
  // A user's click: ignored while disabled, as on screen.
  void Click();
};

class TCheckBox : public TControl {
 public:
  TCheckBox(Application& app, TControl& parent, const TControlArgs& args);
  std::function<void()> onClick;
  bool Checked() const { return checked_; }
  // Programmatic; does not run onClick.
  void SetChecked(bool checked);
  // The user toggled it (the backend already shows the new state).
  void UserSetChecked(bool checked);

 private:
  bool checked_ = false;
};

class TCanvas {
 public:
  virtual ~TCanvas() = default;
  virtual void FillRect(const TRect& rect, Rgb colour) = 0;
  // Draws the bitmap scaled into dest.
  virtual void StretchDraw(const TRect& dest, const Bitmap& bitmap) = 0;
};

// A canvas over an in-memory bitmap: the headless drawing surface.
class BitmapCanvas : public TCanvas {
 public:
  explicit BitmapCanvas(Bitmap& target) : target_(target) {}
  void FillRect(const TRect& rect, Rgb colour) override;
  void StretchDraw(const TRect& dest, const Bitmap& bitmap) override;

 private:
  Bitmap& target_;
};

enum class TComboStyle { DropDownList, OwnerDrawFixed };

class TComboBox : public TControl {
 public:
  TComboBox(Application& app, TControl& parent, const TControlArgs& args,
            TComboStyle style = TComboStyle::DropDownList, int designItemHeight = 0);

  using TDrawItemEvent = std::function<void(TComboBox&, int index, const TRect& rect, TCanvas&)>;
  std::function<void()> onChange;
  TDrawItemEvent onDrawItem;

  TComboStyle Style() const { return style_; }
  int ItemHeight() const { return itemHeight_; }
  const std::vector<std::string>& Items() const { return items_; }
  int ItemCount() const { return static_cast<int>(items_.size()); }
  void ClearItems();
  void AddItem(std::string text);
  void SetItem(int index, std::string text);
  int ItemIndex() const { return itemIndex_; }
  // Programmatic; does not run onChange. -1 clears the selection.
  void SetItemIndex(int index);
  // The user chose an item.
  void UserSelect(int index);
  // Draws one item through onDrawItem.
  void DrawItem(int index, const TRect& rect, TCanvas& canvas);

 protected:
  void AfterScale(int newDpi) override;

 private:
  TComboStyle style_;
  int designItemHeight_;
  int itemHeight_;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

enum class TProgressState { Normal, Error };

class TProgressBar : public TControl {
 public:
  TProgressBar(Application& app, TControl& parent, const TControlArgs& args);
  int Max() const { return max_; }
  int Position() const { return position_; }
  TProgressState State() const { return state_; }
  void SetMax(int max);
  void SetPosition(int position);
  void SetState(TProgressState state);

 private:
  int max_ = 100;
  int position_ = 0;
  TProgressState state_ = TProgressState::Normal;
};

// Images of one size, not shown by itself.
class TImageList {
 public:
  TImageList(int width, int height) : width_(width), height_(height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // Throws std::invalid_argument for an image of another size.
  void Add(Bitmap image);
  // A fresh copy of image i at its natural size.
  Bitmap GetBitmap(int index) const;

 private:
  int width_;
  int height_;
  std::vector<Bitmap> images_;
};

struct TFormArgs {
  std::string className;  // the window class a test driver finds it by
  TSize clientSize;       // at 120 ppi
  TFont font;
};

class TForm : public TControl {
 public:
  TForm(Application& app, const TFormArgs& args);
  ~TForm() override;
  const std::string& ClassName() const { return className_; }
  bool Visible() const { return visible_; }
  void Show();
  // Asks the window to close, as the close button does.
  void Close();
  std::function<void()> onClose;
  // Runs after the window has been rescaled for another DPI.
  std::function<void()> onDpiChanged;
  void NotifyDpiChanged(int newDpi);
  int Dpi() const { return dpi_; }

 private:
  std::string className_;
  bool visible_ = false;
  int dpi_;
};

}  // namespace ovix::ui
