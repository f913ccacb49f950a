#include <algorithm>
#include <string>
#include <vector>

#include "ui/gtk/gtk_application.h"
#include "ui/gtk/gtk_canvas.h"
#include "ui/gtk/gtk_peer.h"

namespace ovix::ui::gtk {
namespace {

constexpr char kFormKey[] = "ovix-form";
constexpr char kErrorClass[] = "ovix-error";

bool TakesFocus(TControlKind kind) {
  switch (kind) {
    case TControlKind::CheckBox:
    case TControlKind::Edit:
    case TControlKind::Button:
    case TControlKind::ComboBox:
      return true;
    default:
      return false;
  }
}

// The widgets the Tab key stops at, in the controls' tab order: a group box's controls
// follow where the group box stands, as the dialog manager on Windows visits them.
void CollectTabStops(const TControl& parent, std::vector<GtkWidget*>& stops) {
  for (const TControl* child : parent.ChildrenInTabOrder()) {
    if (TakesFocus(child->Kind()) && child->TabOrder() >= 0) {
      if (GtkWidget* widget = WidgetOf(*child)) stops.push_back(widget);
    }
    CollectTabStops(*child, stops);
  }
}

// Entries and combo boxes size themselves from their style's font, so they get the
// control's font through CSS; labels carry it as text attributes instead.
std::string FontCss(const TFont& font) {
  std::string family;
  for (const char c : font.name) {
    if (c != '"' && c != '\\') family += c;
  }
  return "* { font-family: \"" + family + "\"; font-size: " + std::to_string(font.height) +
         "px; text-decoration-line: " + (font.underline ? "underline" : "none") + "; }\n";
}

}  // namespace

GtkPeer::GtkPeer(GtkBackendApplication& app, TControl& control) : app_(app), control_(control) {
  if (control.Kind() == TControlKind::Form) {
    CreateForm();
  } else {
    CreateChild();
  }
  PushAll(control_);
}

GtkPeer::~GtkPeer() {
  if (fixed_) g_signal_handlers_disconnect_by_data(fixed_, this);
  g_signal_handlers_disconnect_by_data(widget_, this);
  // A child's widget leaves the form's GtkFixed; a form's window leaves the screen.
  gtk_widget_destroy(widget_);
  g_object_unref(widget_);
  if (items_) g_object_unref(items_);
  if (style_) g_object_unref(style_);
}

bool GtkPeer::IsFormWindow(GtkWidget* window) {
  return g_object_get_data(G_OBJECT(window), kFormKey) != nullptr;
}

void GtkPeer::CreateForm() {
  const auto& form = static_cast<const TForm&>(control_);
  widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(widget_);
  g_object_set_data(G_OBJECT(widget_), kFormKey, this);
  gtk_widget_set_name(widget_, form.ClassName().c_str());
  gtk_window_set_resizable(GTK_WINDOW(widget_), FALSE);
  gtk_window_set_position(GTK_WINDOW(widget_), GTK_WIN_POS_CENTER);
  fixed_ = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(widget_), fixed_);
  gtk_widget_show(fixed_);
  g_signal_connect(widget_, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(fixed_, "focus", G_CALLBACK(OnFocus), this);
}

void GtkPeer::CreateChild() {
  switch (control_.Kind()) {
    case TControlKind::Label:
      widget_ = label_ = gtk_label_new(nullptr);
      gtk_label_set_xalign(GTK_LABEL(label_), 0.0F);
      gtk_label_set_yalign(GTK_LABEL(label_), 0.0F);
      break;
    case TControlKind::GroupBox:
      widget_ = gtk_frame_new(nullptr);
      label_ = gtk_label_new(nullptr);
      gtk_frame_set_label_widget(GTK_FRAME(widget_), label_);
      gtk_frame_set_label_align(GTK_FRAME(widget_), 0.0F, 0.5F);
      break;
    case TControlKind::CheckBox:
      widget_ = gtk_check_button_new();
      label_ = gtk_label_new(nullptr);
      gtk_label_set_xalign(GTK_LABEL(label_), 0.0F);
      gtk_container_add(GTK_CONTAINER(widget_), label_);
      userHandler_ = g_signal_connect(widget_, "toggled", G_CALLBACK(OnToggled), this);
      break;
    case TControlKind::Edit:
      // Shows a path; the window keeps it disabled, so it is never typed into.
      widget_ = gtk_entry_new();
      gtk_editable_set_editable(GTK_EDITABLE(widget_), FALSE);
      gtk_entry_set_width_chars(GTK_ENTRY(widget_), 0);
      break;
    case TControlKind::Button:
      widget_ = gtk_button_new();
      label_ = gtk_label_new(nullptr);
      gtk_container_add(GTK_CONTAINER(widget_), label_);
      userHandler_ = g_signal_connect(widget_, "clicked", G_CALLBACK(OnClicked), this);
      break;
    case TControlKind::ComboBox: {
      const bool drawn =
          static_cast<const TComboBox&>(control_).Style() == TComboStyle::OwnerDrawFixed;
      items_ = gtk_list_store_new(1, drawn ? GDK_TYPE_PIXBUF : G_TYPE_STRING);
      widget_ = gtk_combo_box_new_with_model(GTK_TREE_MODEL(items_));
      GtkCellRenderer* cell = drawn ? gtk_cell_renderer_pixbuf_new() : gtk_cell_renderer_text_new();
      gtk_cell_renderer_set_padding(cell, 0, 0);
      // A long entry is cut, as in a native box, rather than widening the box or the window.
      if (!drawn)
        g_object_set(cell, "ellipsize", PANGO_ELLIPSIZE_END, "max-width-chars", 1, nullptr);
      gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(widget_), cell, TRUE);
      gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(widget_), cell, drawn ? "pixbuf" : "text", 0);
      userHandler_ = g_signal_connect(widget_, "changed", G_CALLBACK(OnComboChanged), this);
      break;
    }
    case TControlKind::ProgressBar:
      widget_ = gtk_progress_bar_new();
      break;
    case TControlKind::Form:
      break;
  }
  g_object_ref_sink(widget_);
  if (label_) gtk_widget_show(label_);
  if (control_.Kind() == TControlKind::Edit || control_.Kind() == TControlKind::ComboBox ||
      control_.Kind() == TControlKind::ProgressBar) {
    style_ = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget_),
                                   GTK_STYLE_PROVIDER(style_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  }
  gtk_fixed_put(GTK_FIXED(FormPeer().fixed_), widget_, 0, 0);
  gtk_widget_show(widget_);
}

GtkPeer& GtkPeer::FormPeer() const {
  const TControl* root = &control_;
  while (root->Parent()) root = root->Parent();
  return *static_cast<GtkPeer*>(root->Peer());
}

void GtkPeer::Place() {
  const TRect& b = control_.Bounds();
  if (control_.Kind() == TControlKind::Form) {
    gtk_widget_set_size_request(fixed_, b.width, b.height);
  } else {
    // The GtkFixed is the form's; a control's place is relative to its parent.
    int x = b.left;
    int y = b.top;
    for (const TControl* parent = control_.Parent(); parent->Parent(); parent = parent->Parent()) {
      x += parent->Left();
      y += parent->Top();
    }
    int width = b.width;
    if (control_.Kind() == TControlKind::Label) {
      // A native child is cut at its parent's edge; a label too long for its parent (a long
      // translation) ends there with an ellipsis, and asks for no more room than it has, as
      // the window takes the size its content would like.
      const int room = std::max(control_.Parent()->Width() - b.left, 0);
      const bool cut = width > room;
      if (cut) width = room;
      gtk_label_set_ellipsize(GTK_LABEL(widget_), cut ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
      gtk_label_set_max_width_chars(GTK_LABEL(widget_), cut ? 1 : -1);
    }
    gtk_fixed_move(GTK_FIXED(FormPeer().fixed_), widget_, x, y);
    gtk_widget_set_size_request(widget_, std::max(width, 0), std::max(b.height, 0));
    if (control_.Kind() == TControlKind::ProgressBar) {
      // The bar fills its height, as a native one does; the theme's is a thin line.
      const int trough = std::max(b.height - 2, 0);
      const std::string css =
          "progressbar trough { min-height: " + std::to_string(trough) +
          "px; }\nprogressbar progress { min-height: " + std::to_string(std::max(trough - 2, 0)) +
          "px; }\n";
      gtk_css_provider_load_from_data(style_, css.c_str(), -1, nullptr);
    }
  }
  for (const TControl* child : control_.Children()) {
    if (auto* peer = static_cast<GtkPeer*>(child->Peer())) peer->Place();
  }
}

template <typename Push>
void GtkPeer::Quietly(Push push) {
  if (userHandler_) g_signal_handler_block(widget_, userHandler_);
  push();
  if (userHandler_) g_signal_handler_unblock(widget_, userHandler_);
}

void GtkPeer::FillItems() {
  auto& combo = static_cast<TComboBox&>(control_);
  gtk_list_store_clear(items_);
  const bool drawn = combo.Style() == TComboStyle::OwnerDrawFixed;
  // A drawn item spans the field beside the drop-down button, about as wide as the field
  // is high.
  const TSize itemSize{std::max({combo.ItemHeight(), combo.Width() - combo.Height(), 1}),
                       std::max(combo.ItemHeight(), 1)};
  for (int i = 0; i < combo.ItemCount(); ++i) {
    GtkTreeIter row;
    gtk_list_store_append(items_, &row);
    if (drawn) {
      GdkPixbuf* image = DrawComboItem(combo, i, itemSize);
      gtk_list_store_set(items_, &row, 0, image, -1);
      if (image) g_object_unref(image);
    } else {
      gtk_list_store_set(items_, &row, 0, combo.Items()[static_cast<std::size_t>(i)].c_str(), -1);
    }
  }
  SetActiveItem();
}

void GtkPeer::SetActiveItem() {
  gtk_combo_box_set_active(GTK_COMBO_BOX(widget_),
                           static_cast<const TComboBox&>(control_).ItemIndex());
}

void GtkPeer::Update(TChange change) {
  switch (change) {
    case TChange::Bounds:
      Place();
      break;
    case TChange::Caption:
      if (control_.Kind() == TControlKind::Form) {
        gtk_window_set_title(GTK_WINDOW(widget_), control_.Caption().c_str());
      } else if (control_.Kind() == TControlKind::Edit) {
        gtk_entry_set_text(GTK_ENTRY(widget_), control_.Caption().c_str());
      } else if (label_) {
        gtk_label_set_text(GTK_LABEL(label_), control_.Caption().c_str());
      }
      break;
    case TChange::Enabled:
      gtk_widget_set_sensitive(widget_, control_.Enabled());
      break;
    case TChange::Font:
      if (label_) {
        PangoAttrList* attributes = GtkBackendApplication::FontAttributes(control_.Font());
        gtk_label_set_attributes(GTK_LABEL(label_), attributes);
        pango_attr_list_unref(attributes);
      }
      if (style_ && control_.Kind() != TControlKind::ProgressBar) {
        gtk_css_provider_load_from_data(style_, FontCss(control_.Font()).c_str(), -1, nullptr);
      }
      break;
    case TChange::Checked:
      Quietly([&] {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget_),
                                     static_cast<const TCheckBox&>(control_).Checked());
      });
      break;
    case TChange::Items:
      Quietly([&] { FillItems(); });
      break;
    case TChange::ItemIndex:
      Quietly([&] { SetActiveItem(); });
      break;
    case TChange::Progress: {
      const auto& bar = static_cast<const TProgressBar&>(control_);
      const double fraction =
          bar.Max() > 0 ? std::clamp(static_cast<double>(bar.Position()) / bar.Max(), 0.0, 1.0)
                        : 0.0;
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget_), fraction);
      GtkStyleContext* style = gtk_widget_get_style_context(widget_);
      if (bar.State() == TProgressState::Error) {
        gtk_style_context_add_class(style, kErrorClass);
      } else {
        gtk_style_context_remove_class(style, kErrorClass);
      }
      break;
    }
    case TChange::Visible:
      if (static_cast<const TForm&>(control_).Visible()) {
        gtk_widget_show(widget_);
        gtk_window_present(GTK_WINDOW(widget_));
      } else {
        gtk_widget_hide(widget_);
      }
      break;
  }
}

gboolean GtkPeer::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  auto* peer = static_cast<GtkPeer*>(data);
  GtkBackendApplication& app = peer->app_;
  auto& form = static_cast<TForm&>(peer->control_);
  const bool main = &form == app.MainForm();
  // The window stays until the form object goes; the loop ends first.
  form.Close();
  if (main) app.Terminate();
  return TRUE;
}

void GtkPeer::OnClicked(GtkButton*, gpointer data) {
  static_cast<TButton&>(static_cast<GtkPeer*>(data)->control_).Click();
}

void GtkPeer::OnToggled(GtkToggleButton* button, gpointer data) {
  static_cast<TCheckBox&>(static_cast<GtkPeer*>(data)->control_)
      .UserSetChecked(gtk_toggle_button_get_active(button) != FALSE);
}

void GtkPeer::OnComboChanged(GtkComboBox* combo, gpointer data) {
  const int index = gtk_combo_box_get_active(combo);
  if (index >= 0) static_cast<TComboBox&>(static_cast<GtkPeer*>(data)->control_).UserSelect(index);
}

gboolean GtkPeer::OnFocus(GtkWidget* fixed, GtkDirectionType direction, gpointer data) {
  // Tab follows the controls' tab order; GTK's own order would be by position.
  if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD) return FALSE;
  std::vector<GtkWidget*> stops;
  CollectTabStops(static_cast<GtkPeer*>(data)->control_, stops);
  if (direction == GTK_DIR_TAB_BACKWARD) std::reverse(stops.begin(), stops.end());
  GtkWidget* current = gtk_container_get_focus_child(GTK_CONTAINER(fixed));
  auto next = std::find(stops.begin(), stops.end(), current);
  if (next != stops.end()) {
    // A composite widget may move the focus within itself first.
    if (gtk_widget_child_focus(*next, direction)) return TRUE;
    ++next;
  } else {
    next = stops.begin();
  }
  for (; next != stops.end(); ++next) {
    if (gtk_widget_child_focus(*next, direction)) return TRUE;
  }
  // Past the last stop: the window starts over from the first, and GTK's own order by
  // position must not pick another stop first.
  g_signal_stop_emission_by_name(fixed, "focus");
  return FALSE;
}

GtkWidget* WidgetOf(const TControl& control) {
  const auto* peer = static_cast<const GtkPeer*>(control.Peer());
  return peer ? peer->Widget() : nullptr;
}

}  // namespace ovix::ui::gtk
