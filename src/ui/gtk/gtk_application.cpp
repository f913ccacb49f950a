#include "ui/gtk/gtk_application.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "os/windows_path.h"
#include "ui/gtk/gtk_peer.h"

namespace ovix::ui::gtk {
namespace {

// The layout gives every control its size, made for compact native controls: the theme's
// paddings and minimum heights must fit inside it.
constexpr char kCompactCss[] = R"css(
button { min-height: 0; min-width: 0; padding: 0 6px; }
entry { min-height: 0; padding: 0 4px; }
combobox button.combo { min-height: 0; padding: 0 2px; }
combobox arrow { min-width: 12px; min-height: 12px; }
combobox cellview { min-height: 0; }
checkbutton { padding: 0; }
checkbutton check { min-width: 12px; min-height: 12px; margin: 0 4px 0 0; }
progressbar.horizontal trough { min-width: 0; }
progressbar.ovix-error progress { background-image: none; background-color: #d0312d;
                                  border-color: #a32420; }
)css";

int QueryScreenDpi() {
  const double resolution = gdk_screen_get_resolution(gdk_screen_get_default());
  return resolution > 0 ? static_cast<int>(std::lround(resolution)) : 96;
}

struct WakeSource {
  GSource base;
  GtkBackendApplication* app;
};

// The folder to preselect: a Windows path as the game's own drives resolve it, else a path
// of this system; nothing when it names no folder.
std::optional<std::filesystem::path> StartFolder(std::string_view initial) {
  if (initial.empty()) return std::nullopt;
  std::filesystem::path folder =
      ResolveWindowsPath(initial).value_or(std::filesystem::path(initial));
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
  return std::filesystem::absolute(folder, error);
}

struct ListChoice {
  int chosen = -1;
  bool dismissed = false;
};

void OnListItemActivate(GtkMenuItem* item, gpointer data) {
  static_cast<ListChoice*>(data)->chosen =
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "ovix-index"));
}

void OnListDeactivate(GtkMenuShell*, gpointer data) {
  static_cast<ListChoice*>(data)->dismissed = true;
}

}  // namespace

GtkBackendApplication::GtkBackendApplication() {
  if (!gdk_display_get_default()) throw std::runtime_error("GTK has no display");
  dpi_ = QueryScreenDpi();

  static GSourceFuncs wakeFuncs = {nullptr, nullptr, DispatchWake, nullptr, nullptr, nullptr};
  wake_ = g_source_new(&wakeFuncs, sizeof(WakeSource));
  reinterpret_cast<WakeSource*>(wake_)->app = this;
  // A step may open a modal box, whose loop must go on serving the next hand-overs.
  g_source_set_can_recurse(wake_, TRUE);
  g_source_set_ready_time(wake_, -1);
  g_source_attach(wake_, nullptr);

  measurer_ = gtk_label_new(nullptr);
  g_object_ref_sink(measurer_);

  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kCompactCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

GtkBackendApplication::~GtkBackendApplication() {
  Terminate();
  {
    std::lock_guard lock(wakeMutex_);
    g_source_destroy(wake_);
    g_source_unref(wake_);
    wake_ = nullptr;
  }
  gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_));
  g_object_unref(css_);
  gtk_widget_destroy(measurer_);
  g_object_unref(measurer_);
}

gboolean GtkBackendApplication::DispatchWake(GSource* source, GSourceFunc, gpointer) {
  g_source_set_ready_time(source, -1);
  reinterpret_cast<WakeSource*>(source)->app->RunPendingSteps();
  return G_SOURCE_CONTINUE;
}

void GtkBackendApplication::WakeUiThread() {
  // Making a source ready wakes the context's poll from any thread.
  std::lock_guard lock(wakeMutex_);
  if (wake_) g_source_set_ready_time(wake_, 0);
}

PangoAttrList* GtkBackendApplication::FontAttributes(const TFont& font) {
  PangoAttrList* attributes = pango_attr_list_new();
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, font.name.c_str());
  // The height is the character height in pixels, as Pango's absolute size is.
  pango_font_description_set_absolute_size(description, font.height * PANGO_SCALE);
  pango_attr_list_insert(attributes, pango_attr_font_desc_new(description));
  pango_font_description_free(description);
  if (font.underline) {
    pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  }
  return attributes;
}

TSize GtkBackendApplication::MeasureText(const TFont& font, std::string_view text) {
  // A label draws "\r\n" as one line break, and so does this layout.
  PangoLayout* layout = gtk_widget_create_pango_layout(measurer_, nullptr);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  PangoAttrList* attributes = FontAttributes(font);
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  return {text.empty() ? 0 : width, height};
}

std::unique_ptr<ControlPeer> GtkBackendApplication::CreatePeer(TControl& control) {
  return std::make_unique<GtkPeer>(*this, control);
}

GtkWindow* GtkBackendApplication::DialogParent() const {
  if (mainForm_ && mainForm_->Visible()) return GTK_WINDOW(WidgetOf(*mainForm_));
  GtkWindow* parent = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it; it = it->next) {
    GtkWidget* window = GTK_WIDGET(it->data);
    if (!parent && GtkPeer::IsFormWindow(window) && gtk_widget_get_visible(window))
      parent = GTK_WINDOW(window);
  }
  g_list_free(toplevels);
  return parent;
}

TMsgResult GtkBackendApplication::ShowMessageBox(std::string_view text, TMsgIcon icon,
                                                 TMsgButtons buttons) {
  const std::string message(text);
  GtkWidget* dialog = gtk_message_dialog_new(
      DialogParent(), GTK_DIALOG_MODAL,
      icon == TMsgIcon::Warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO,
      buttons == TMsgButtons::YesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), Title().c_str());
  // The dialog's loop runs the hand-overs too, so a worker waiting on one is not held up.
  const int answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
  return answer == GTK_RESPONSE_YES ? TMsgResult::Yes : TMsgResult::No;
}

std::optional<std::string> GtkBackendApplication::BrowseForFolder(std::string_view prompt,
                                                                  std::string_view initial) {
  const std::string title(prompt);
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      title.c_str(), DialogParent(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
      GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_create_folders(chooser, FALSE);
  if (const auto start = StartFolder(initial)) {
    // Selects the folder itself, shown among its siblings.
    gtk_file_chooser_set_filename(chooser, start->c_str());
  }
  std::optional<std::string> chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
      chosen = name;
      g_free(name);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

std::optional<int> GtkBackendApplication::ChooseFromList(const TControl& anchor,
                                                         const std::vector<std::string>& items) {
  GtkWidget* anchorWidget = WidgetOf(anchor);
  if (!anchorWidget || items.empty()) return std::nullopt;
  ListChoice choice;
  GtkWidget* menu = gtk_menu_new();
  g_object_ref_sink(menu);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GtkWidget* item = gtk_menu_item_new_with_label(items[i].c_str());
    g_object_set_data(G_OBJECT(item), "ovix-index", GINT_TO_POINTER(static_cast<int>(i)));
    g_signal_connect(item, "activate", G_CALLBACK(OnListItemActivate), &choice);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_widget_show(item);
  }
  gtk_menu_attach_to_widget(GTK_MENU(menu), anchorWidget, nullptr);
  g_signal_connect(menu, "deactivate", G_CALLBACK(OnListDeactivate), &choice);
  // The menu takes the pointer with the event that opened it, so a click elsewhere closes
  // it. Opened outside an input event (from a hand-over or a timer), it is given one.
  GdkEvent* trigger = gtk_get_current_event();
  if (!trigger) {
    trigger = gdk_event_new(GDK_BUTTON_RELEASE);
    trigger->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(anchorWidget)));
    trigger->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(
        trigger,
        gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(anchorWidget))));
  }
  gtk_menu_popup_at_widget(GTK_MENU(menu), anchorWidget, GDK_GRAVITY_SOUTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
  gdk_event_free(trigger);
  // The menu deactivates before the chosen item activates, within the same event: the
  // choice is known once the iteration that dismissed the menu returns.
  if (gtk_widget_get_visible(menu)) {
    while (!choice.dismissed) g_main_context_iteration(nullptr, TRUE);
  }
  g_signal_handlers_disconnect_by_data(menu, &choice);
  gtk_container_foreach(
      GTK_CONTAINER(menu),
      [](GtkWidget* item, gpointer data) { g_signal_handlers_disconnect_by_data(item, data); },
      &choice);
  gtk_widget_destroy(menu);
  g_object_unref(menu);
  if (choice.chosen < 0) return std::nullopt;
  return choice.chosen;
}

void GtkBackendApplication::ProcessMessages() {
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  RunPendingSteps();
}

void GtkBackendApplication::WaitForWork(std::chrono::milliseconds limit) {
  if (HasPendingSteps()) return;
  // One blocking iteration returns once anything is dispatched: an event, a hand-over's
  // wake, or this timer.
  bool expired = false;
  const guint timer = g_timeout_add(
      static_cast<guint>(std::max<std::chrono::milliseconds::rep>(limit.count(), 0)),
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &expired);
  g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(timer);
}

void GtkBackendApplication::Run(TForm& mainForm) {
  mainForm_ = &mainForm;
  mainForm.Show();
  while (!Terminated()) g_main_context_iteration(nullptr, TRUE);
  Terminate();
}

}  // namespace ovix::ui::gtk
