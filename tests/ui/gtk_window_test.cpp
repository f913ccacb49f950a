// The real window on the GTK backend, inspected and driven through its widgets under an
// X server.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/scripted_service.h"
#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "res/flags.h"
#include "support/sandbox.h"
#include "support/wait_until.h"
#include "ui/gtk/gtk_application.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
using ui::gtk::WidgetOf;

constexpr auto kLimit = 20s;

std::string S(std::string_view text) { return std::string(text); }

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  int Right() const { return x + width; }
  int Bottom() const { return y + height; }
  bool Overlaps(const Box& o) const {
    return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom();
  }
  bool Inside(const Box& o) const {
    return x >= o.x && y >= o.y && Right() <= o.Right() && Bottom() <= o.Bottom();
  }
  bool operator==(const Box&) const = default;
};

void PrintTo(const Box& b, std::ostream* out) {
  *out << "{" << b.x << ", " << b.y << ", " << b.width << "x" << b.height << "}";
}

// The shown toplevel of the given type, or nullptr.
GtkWidget* ShownToplevel(GType type) {
  GtkWidget* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it; it = it->next) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(it->data, type) && gtk_widget_get_visible(GTK_WIDGET(it->data)))
      found = GTK_WIDGET(it->data);
  }
  g_list_free(toplevels);
  return found;
}

std::string LabelText(GtkWidget* label) {
  return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "<no label>";
}

// What a widget shows as its caption.
std::string ShownText(GtkWidget* widget) {
  if (GTK_IS_WINDOW(widget)) return gtk_window_get_title(GTK_WINDOW(widget));
  if (GTK_IS_LABEL(widget)) return LabelText(widget);
  if (GTK_IS_FRAME(widget)) return LabelText(gtk_frame_get_label_widget(GTK_FRAME(widget)));
  if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
  if (GTK_IS_BUTTON(widget)) return LabelText(gtk_bin_get_child(GTK_BIN(widget)));
  return "";
}

// The text of a combo box's selected item.
std::string ActiveItemText(GtkWidget* combo) {
  GtkTreeIter row;
  if (!gtk_combo_box_get_active_iter(GTK_COMBO_BOX(combo), &row)) return "<none>";
  gchar* text = nullptr;
  gtk_tree_model_get(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), &row, 0, &text, -1);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

guint32 FlagColour(TLanguage language, int x, int y) { return FlagImages()[language].At(x, y); }

// No list arrives and no script: the window keeps its start-up state.
std::shared_ptr<TTransport> Offline() { return std::make_shared<testing::ScriptedService>(); }

class GtkWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No accessibility bus runs beside the test's X server, and the file chooser must not
    // write its settings into the user's.
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X display";
    settings_ = gtk_settings_get_default();
    g_object_get(settings_, "gtk-xft-dpi", &savedDpi_, nullptr);
  }
  void TearDown() override {
    for (const guint tick : ticks_) {
      if (GSource* source = g_main_context_find_source_by_id(nullptr, tick))
        g_source_destroy(source);
    }
    window.reset();
    app.reset();
    g_object_set(settings_, "gtk-xft-dpi", savedDpi_, nullptr);
  }

  // Runs `tick` on the UI thread every few milliseconds, also inside the loop of a modal
  // dialog, until it returns false. What is left of it goes with the test.
  void Every(std::function<bool()> tick) {
    ticks_.push_back(g_timeout_add_full(
        G_PRIORITY_DEFAULT, 5,
        [](gpointer data) -> gboolean {
          return (*static_cast<std::function<bool()>*>(data))() ? G_SOURCE_CONTINUE
                                                                : G_SOURCE_REMOVE;
        },
        new std::function<bool()>(std::move(tick)),
        [](gpointer data) { delete static_cast<std::function<bool()>*>(data); }));
  }

  // The display's resolution, as the desktop's settings announce it.
  void SetScreenDpi(int dpi) { g_object_set(settings_, "gtk-xft-dpi", dpi * 1024, nullptr); }

  void Open(std::uint32_t localeId, TStartup startup = {}) {
    app = std::make_unique<ui::gtk::GtkBackendApplication>();
    app->SetTitle("Ovix Updater");
    startup.localeId = localeId;
    if (!startup.transport) startup.transport = Offline();
    window = std::make_unique<TfWindow>(*app, startup);
  }

  // Shows the window and waits until it has been drawn on the screen.
  void ShowAndDraw() {
    window->Show();
    AwaitDrawing();
  }
  void AwaitDrawing() {
    GtkWidget* top = WidgetOf(*window);
    bool drawn = false;
    const gulong handler = g_signal_connect_after(
        top, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer seen) -> gboolean {
          *static_cast<bool*>(seen) = true;
          return FALSE;
        }),
        &drawn);
    gtk_widget_queue_draw(top);
    EXPECT_TRUE(Pump([&] { return gtk_widget_get_mapped(top) && drawn; }));
    g_signal_handler_disconnect(top, handler);
    gdk_display_sync(gdk_display_get_default());
    app->ProcessMessages();
  }

  template <typename Condition>
  bool Pump(Condition done, std::chrono::milliseconds limit = kLimit) {
    return test::WaitUntil(done, limit, [&] { app->ProcessMessages(); });
  }

  GtkWidget* W(const ui::TControl& control) const { return WidgetOf(control); }

  // Where the widget is in the window's client area.
  Box Placed(const ui::TControl& control) const {
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(W(*window)));
    Box box;
    gtk_widget_translate_coordinates(W(control), fixed, 0, 0, &box.x, &box.y);
    GtkAllocation a;
    gtk_widget_get_allocation(W(control), &a);
    box.width = a.width;
    box.height = a.height;
    return box;
  }

  // Where the layout puts the control: its bounds moved by its parents' places, a label cut
  // at its parent's edge as a native child window is.
  static Box Expected(const ui::TControl& control) {
    Box box{control.Left(), control.Top(), control.Width(), control.Height()};
    for (const ui::TControl* p = control.Parent(); p->Parent(); p = p->Parent()) {
      box.x += p->Left();
      box.y += p->Top();
    }
    if (control.Kind() == ui::TControlKind::Label)
      box.width = std::min(box.width, control.Parent()->Width() - control.Left());
    return box;
  }

  // The colours of the window's pixels inside the control's widget.
  std::set<guint32> ShownColours(const ui::TControl& control) {
    const Box box = Placed(control);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(W(*window)), box.x, box.y,
                                                 box.width, box.height);
    std::set<guint32> colours;
    if (!shot) return colours;
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const int channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    for (int y = 0; y < gdk_pixbuf_get_height(shot); ++y) {
      for (int x = 0; x < gdk_pixbuf_get_width(shot); ++x) {
        const guchar* p = pixels + y * stride + x * channels;
        colours.insert(ui::MakeRgb(p[0], p[1], p[2]));
      }
    }
    g_object_unref(shot);
    return colours;
  }

  // The whole window as drawn, for a person to look at.
  void SaveScreenshot(const std::string& name) {
    const char* configured = std::getenv("OVIX_ARTIFACTS");
    const std::filesystem::path folder =
        configured && *configured ? configured : OVIX_SOURCE_DIR "/artifacts";
    std::filesystem::create_directories(folder);
    GdkWindow* surface = gtk_widget_get_window(W(*window));
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(surface, 0, 0, gdk_window_get_width(surface),
                                                 gdk_window_get_height(surface));
    ASSERT_NE(shot, nullptr);
    GError* error = nullptr;
    EXPECT_TRUE(gdk_pixbuf_save(shot, (folder / name).c_str(), "png", &error, nullptr))
        << (error ? error->message : "");
    if (error) g_error_free(error);
    g_object_unref(shot);
  }

  std::vector<guint> ticks_;
  GtkSettings* settings_ = nullptr;
  int savedDpi_ = -1;
  std::unique_ptr<ui::gtk::GtkBackendApplication> app;
  std::unique_ptr<TfWindow> window;
};

struct LayoutCase {
  std::uint32_t localeId;
  TLanguage language;
  int screenDpi;
  const char* screenshot;
};

TEST_F(GtkWindowTest, EveryControlSitsWhereTheLayoutPutsItWithItsCaptionInTwoLanguages) {
  // English at the common desktop resolution, German at the one the layout is drawn for.
  for (const LayoutCase& c : {LayoutCase{0x0409, lngEN, 96, "linux-window-en.png"},
                              LayoutCase{0x0407, lngDE, 120, "linux-window-de.png"}}) {
    SCOPED_TRACE(c.screenshot);
    window.reset();
    app.reset();
    SetScreenDpi(c.screenDpi);
    Open(c.localeId);
    ASSERT_EQ(app->Dpi(), c.screenDpi);
    ShowAndDraw();
    TfWindow& w = *window;
    const TLanguage l = c.language;

    GtkWidget* top = W(w);
    EXPECT_EQ(ShownText(top), S(txtTitle[l]));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(top)));
    EXPECT_EQ(gtk_widget_get_name(top), std::string("TfWindow"));
    GtkAllocation client;
    gtk_widget_get_allocation(gtk_bin_get_child(GTK_BIN(top)), &client);
    struct Expectation {
      const ui::TControl* control;
      GType type;
      std::string text;
      bool enabled;
    };
    const std::vector<Expectation> expected = {
        {&w.lWarning, GTK_TYPE_LABEL, S(txtWarning[l]), true},
        {&w.gbOptions, GTK_TYPE_FRAME, S(txtOptions[l]), true},
        {&w.cbKeepConfig, GTK_TYPE_CHECK_BUTTON, S(txtKeepConfig[l]), true},
        {&w.eDirectory, GTK_TYPE_ENTRY, "", false},
        {&w.bChangeDirectory, GTK_TYPE_BUTTON, S(txtModify[l]), true},
        {&w.bProcess, GTK_TYPE_BUTTON, S(txtInstallUpdate[l]), true},
        {&w.lOvixversion, GTK_TYPE_LABEL, S(txtModVersion[l]), true},
        {&w.cmbOvixVersion, GTK_TYPE_COMBO_BOX, S(txtStable[l]), false},
        {&w.lConfig, GTK_TYPE_LABEL, S(txtConfiguration[l]), true},
        {&w.cmbConfig, GTK_TYPE_COMBO_BOX, S(txtDefault[l]), false},
        {&w.gbProgress, GTK_TYPE_FRAME, S(txtProgress[l]), true},
        {&w.lCurrentAction, GTK_TYPE_LABEL, S(txtCurrentAction[l]), true},
        {&w.pbCurrentAction, GTK_TYPE_PROGRESS_BAR, "", true},
        {&w.cbLanguage, GTK_TYPE_COMBO_BOX, "", true},
    };
    const Box form{0, 0, client.width, client.height};
    for (const Expectation& e : expected) {
      SCOPED_TRACE(e.control->Name());
      GtkWidget* widget = W(*e.control);
      ASSERT_NE(widget, nullptr);
      EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(widget, e.type));
      EXPECT_TRUE(gtk_widget_get_mapped(widget));
      EXPECT_EQ(gtk_widget_get_sensitive(widget) != FALSE, e.enabled);
      if (GTK_IS_COMBO_BOX(widget)) {
        if (!e.text.empty()) {
          EXPECT_EQ(ActiveItemText(widget), e.text);
        }
      } else {
        EXPECT_EQ(ShownText(widget), e.text);
      }
      // A widget the theme makes larger than its place would show here.
      EXPECT_EQ(Placed(*e.control), Expected(*e.control));
      EXPECT_TRUE(Placed(*e.control).Inside(form));
    }
    // A label is as large as its text draws, so the boxes placed at its edge sit right after
    // the text. Only the long warning is cut, at the window's edge.
    for (const ui::TLabel* label : {&w.lOvixversion, &w.lConfig, &w.lCurrentAction}) {
      SCOPED_TRACE(label->Name());
      EXPECT_EQ(gtk_label_get_ellipsize(GTK_LABEL(W(*label))), PANGO_ELLIPSIZE_NONE);
      int width = 0, height = 0;
      pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(W(*label))), &width, &height);
      EXPECT_EQ(width, label->Width());
      EXPECT_EQ(height, label->Height());
    }
    int cutWidth = 0, warningHeight = 0;
    pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(W(w.lWarning))), &cutWidth,
                                &warningHeight);
    EXPECT_EQ(warningHeight, w.lWarning.Height());  // both lines
    // Controls in a group box lie inside its frame, below its caption, and apart.
    for (const ui::TGroupBox* group : {&w.gbOptions, &w.gbProgress}) {
      const Box frame = Placed(*group);
      const int captionBottom = frame.y + gtk_widget_get_allocated_height(
                                              gtk_frame_get_label_widget(GTK_FRAME(W(*group))));
      for (const ui::TControl* child : group->Children()) {
        SCOPED_TRACE(child->Name());
        EXPECT_TRUE(Placed(*child).Inside(frame));
        EXPECT_GE(Placed(*child).y, captionBottom);
        for (const ui::TControl* other : group->Children()) {
          if (other != child) {
            EXPECT_FALSE(Placed(*child).Overlaps(Placed(*other))) << other->Name();
          }
        }
      }
    }
    const std::vector<const ui::TControl*> topLevel = {&w.lWarning, &w.gbOptions, &w.gbProgress,
                                                       &w.bProcess, &w.cbLanguage};
    for (const ui::TControl* a : topLevel) {
      for (const ui::TControl* b : topLevel) {
        if (a != b) {
          EXPECT_FALSE(Placed(*a).Overlaps(Placed(*b))) << a->Name() << " " << b->Name();
        }
      }
    }
    // The picker shows the language's flag, drawn by the window.
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(W(w.cbLanguage))), l);
    SaveScreenshot(c.screenshot);

    // A long entry in a list neither widens its box nor the window.
    const Box configBox = Placed(w.cmbConfig);
    w.cmbConfig.AddItem("A configuration with a very long name for a short box");
    w.cmbConfig.SetItemIndex(1);
    AwaitDrawing();
    EXPECT_EQ(Placed(w.cmbConfig), configBox);
    gtk_widget_get_allocation(gtk_bin_get_child(GTK_BIN(top)), &client);
    EXPECT_EQ(client.width, form.width);
  }
}

TEST_F(GtkWindowTest, TheUsersInputReachesTheControlsAndTheWindowsOwnChangesDoNotComeBack) {
  Open(0x0409);
  ShowAndDraw();
  TfWindow& w = *window;

  // The user picks French in the flag picker: the window relabels itself.
  gtk_combo_box_set_active(GTK_COMBO_BOX(W(w.cbLanguage)), lngFR);
  EXPECT_EQ(w.cbLanguage.ItemIndex(), lngFR);
  EXPECT_EQ(w.currentLanguage, lngFR);
  EXPECT_EQ(ShownText(W(w.bProcess)), "Installer / Mettre \xC3\xA0 jour");
  EXPECT_EQ(ShownText(W(w)), S(txtTitle[lngFR]));
  EXPECT_EQ(ActiveItemText(W(w.cmbConfig)), S(txtDefault[lngFR]));
  // The boxes moved to their labels' new edges on screen too.
  AwaitDrawing();
  EXPECT_EQ(Placed(w.lOvixversion), Expected(w.lOvixversion));
  EXPECT_EQ(Placed(w.cmbOvixVersion).x, Placed(w.lOvixversion).Right());
  EXPECT_EQ(Placed(w.lConfig).Right(), Placed(w.cmbConfig).x);
  std::set<guint32> colours = ShownColours(w.cbLanguage);
  EXPECT_TRUE(colours.count(FlagColour(lngFR, 0, 5)));   // the blue band
  EXPECT_TRUE(colours.count(FlagColour(lngFR, 15, 5)));  // the red band

  // The window selects German itself: the picker shows it, but no change is reported.
  w.cbLanguage.SetItemIndex(lngDE);
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(W(w.cbLanguage))), lngDE);
  EXPECT_EQ(w.currentLanguage, lngFR);
  AwaitDrawing();
  colours = ShownColours(w.cbLanguage);
  EXPECT_TRUE(colours.count(FlagColour(lngDE, 8, 0)));   // black
  EXPECT_TRUE(colours.count(FlagColour(lngDE, 8, 10)));  // gold
  EXPECT_FALSE(colours.count(FlagColour(lngFR, 0, 5)));

  // Ticking "keep configuration" locks the configuration box; the window unticking it
  // shows on screen.
  w.cmbConfig.AddItem("Competitive");
  w.cmbConfig.SetEnabled(true);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(W(w.cbKeepConfig)), TRUE);
  EXPECT_TRUE(w.cbKeepConfig.Checked());
  EXPECT_FALSE(gtk_widget_get_sensitive(W(w.cmbConfig)));
  w.cbKeepConfig.SetChecked(false);
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(w.cbKeepConfig))));

  // A list arriving refills a box without reporting a choice; the user's choice is reported.
  int changes = 0;
  w.cmbOvixVersion.onChange = [&] { ++changes; };
  w.cmbOvixVersion.ClearItems();
  for (const char* name : {"Stable", "Beta", "Nightly"}) w.cmbOvixVersion.AddItem(name);
  w.cmbOvixVersion.SetItemIndex(0);
  w.cmbOvixVersion.SetEnabled(true);
  EXPECT_EQ(changes, 0);
  gtk_combo_box_set_active(GTK_COMBO_BOX(W(w.cmbOvixVersion)), 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 2);

  // A group box moved takes its controls along.
  w.gbProgress.SetBounds({w.gbProgress.Left() + 10, w.gbProgress.Top() + 4,
                          w.gbProgress.Width() - 10, w.gbProgress.Height()});
  AwaitDrawing();
  for (const ui::TControl* c : std::initializer_list<const ui::TControl*>{
           &w.gbProgress, &w.pbCurrentAction, &w.lCurrentAction}) {
    EXPECT_EQ(Placed(*c), Expected(*c)) << c->Name();
  }

  // A click on the button reaches its handler.
  int clicks = 0;
  w.bProcess.onClick = [&] { ++clicks; };
  gtk_button_clicked(GTK_BUTTON(W(w.bProcess)));
  EXPECT_EQ(clicks, 1);

  // The bar shows the position, and a failure in its own colour.
  w.pbCurrentAction.SetMax(200);
  w.pbCurrentAction.SetPosition(50);
  EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(W(w.pbCurrentAction))), 0.25);
  GtkStyleContext* bar = gtk_widget_get_style_context(W(w.pbCurrentAction));
  EXPECT_FALSE(gtk_style_context_has_class(bar, "ovix-error"));
  w.pbCurrentAction.SetState(ui::TProgressState::Error);
  EXPECT_TRUE(gtk_style_context_has_class(bar, "ovix-error"));
}

TEST_F(GtkWindowTest, TabMovesThroughTheEnabledControlsInTheirTabOrder) {
  Open(0x0409);
  ShowAndDraw();
  TfWindow& w = *window;
  GtkWindow* top = GTK_WINDOW(W(w));
  // The control whose widget holds the focus.
  auto focused = [&]() -> const ui::TControl* {
    GtkWidget* focus = gtk_window_get_focus(top);
    for (const ui::TControl* c : std::initializer_list<const ui::TControl*>{
             &w.cbKeepConfig, &w.eDirectory, &w.bChangeDirectory, &w.bProcess, &w.cmbOvixVersion,
             &w.cmbConfig, &w.cbLanguage}) {
      if (focus && (focus == W(*c) || gtk_widget_is_ancestor(focus, W(*c)))) return c;
    }
    return nullptr;
  };
  gtk_window_set_focus(top, nullptr);
  std::vector<std::string> order;
  for (int i = 0; i < 5; ++i) {
    gtk_widget_child_focus(GTK_WIDGET(top), GTK_DIR_TAB_FORWARD);
    const ui::TControl* c = focused();
    order.push_back(c ? c->Name() : "<none>");
  }
  // The directory field and the two option boxes are disabled and skipped; past the last
  // control the focus starts over.
  const std::vector<std::string> expected = {"cbKeepConfig", "bChangeDirectory", "bProcess",
                                             "cbLanguage", "cbKeepConfig"};
  EXPECT_EQ(order, expected);
  gtk_widget_child_focus(GTK_WIDGET(top), GTK_DIR_TAB_BACKWARD);
  EXPECT_EQ(focused(), &w.cbLanguage);
}

TEST_F(GtkWindowTest, HandOversRunOnTheUiThreadWhileAMessageBoxIsOpen) {
  Open(0x0409);
  ShowAndDraw();
  const auto uiThread = std::this_thread::get_id();

  // A worker's step opens the box, as a failed download's report does; while it is open,
  // only the box's own loop can serve a second worker's step. The box is answered once
  // that step ran.
  std::atomic<bool> stepRan{false};
  bool servedInBox = false;
  std::thread::id ranOn;
  std::thread second;
  std::string title, text;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  bool ok = false, yes = true, modal = false;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  Every([&] {
    GtkWidget* box = ShownToplevel(GTK_TYPE_MESSAGE_DIALOG);
    if (!box) return std::chrono::steady_clock::now() < deadline;
    if (!second.joinable()) {
      second = std::thread([&] {
        app->Synchronize([&] {
          ranOn = std::this_thread::get_id();
          stepRan = true;
        });
      });
    }
    if (!stepRan && std::chrono::steady_clock::now() < deadline) return true;
    servedInBox = stepRan;
    title = gtk_window_get_title(GTK_WINDOW(box));
    gchar* shown = nullptr;
    g_object_get(box, "text", &shown, "message-type", &type, nullptr);
    text = shown ? shown : "";
    g_free(shown);
    ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK) != nullptr;
    yes = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_YES) != nullptr;
    modal = gtk_window_get_modal(GTK_WINDOW(box));
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    return false;
  });
  std::atomic<bool> firstDone{false};
  ui::TMsgResult answer = ui::TMsgResult::No;
  std::thread first([&] {
    app->Synchronize([&] { answer = app->MessageBox("Please wait", ui::TMsgIcon::Information); });
    firstDone = true;
  });
  EXPECT_TRUE(Pump([&] { return firstDone.load(); }, kLimit + 10s));
  first.join();
  if (second.joinable()) second.join();
  EXPECT_EQ(answer, ui::TMsgResult::Ok);
  EXPECT_TRUE(servedInBox);
  EXPECT_EQ(ranOn, uiThread);
  EXPECT_EQ(title, "Ovix Updater");
  EXPECT_EQ(text, "Please wait");
  EXPECT_EQ(type, GTK_MESSAGE_INFO);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(yes);
  EXPECT_TRUE(modal);

  // The retry question: a warning with Yes and No, and the answer comes back.
  bool no = false;
  ok = true;
  Every([&] {
    GtkWidget* box = ShownToplevel(GTK_TYPE_MESSAGE_DIALOG);
    if (!box) return true;
    g_object_get(box, "message-type", &type, nullptr);
    ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK) != nullptr;
    yes = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_YES) != nullptr;
    no = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_NO) != nullptr;
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_YES);
    return false;
  });
  EXPECT_EQ(
      app->MessageBox(txtRetryDirectory[lngEN], ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo),
      ui::TMsgResult::Yes);
  EXPECT_EQ(type, GTK_MESSAGE_WARNING);
  EXPECT_TRUE(yes && no);
  EXPECT_FALSE(ok);
}

TEST_F(GtkWindowTest, TheFolderPickerStartsAtTheGivenFolderAndReturnsTheOneChosen) {
  // The sandbox's C: drive lives in a throw-away prefix, so Windows paths resolve into it.
  test::Sandbox sandbox;
  const std::filesystem::path elsewhere = sandbox.Local(sandbox.Dir() + "\\elsewhere");
  const std::filesystem::path game = sandbox.Local(sandbox.Dir() + "\\game");
  std::filesystem::create_directories(elsewhere);
  std::filesystem::create_directories(game);
  Open(0x0409);
  ShowAndDraw();

  // The player is shown the folder handed in, picks another and presses the accept button.
  auto playPicker = [&](std::string& title, std::string& preselected,
                        const std::filesystem::path* pick) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    Every([&, pick, deadline] {
      GtkWidget* dialog = ShownToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG);
      if (!dialog) return std::chrono::steady_clock::now() < deadline;
      GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
      gchar* name = gtk_file_chooser_get_filename(chooser);
      preselected = name ? name : "";
      g_free(name);
      // The chooser lists a folder in the background before it selects anything in it.
      if (preselected != elsewhere.string() && std::chrono::steady_clock::now() < deadline)
        return true;
      title = gtk_window_get_title(GTK_WINDOW(dialog));
      if (!pick) {
        gtk_button_clicked(GTK_BUTTON(
            gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL)));
        return false;
      }
      gtk_file_chooser_set_filename(chooser, pick->c_str());
      gchar* now = gtk_file_chooser_get_filename(chooser);
      const bool picked = now && pick->string() == now;
      g_free(now);
      if (!picked && std::chrono::steady_clock::now() < deadline) return true;
      gtk_button_clicked(
          GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT)));
      return false;
    });
  };

  std::string title, preselected;
  playPicker(title, preselected, &game);
  EXPECT_EQ(app->BrowseForFolder("Select the game folder", sandbox.Dir() + "\\elsewhere"),
            game.string());
  EXPECT_EQ(title, "Select the game folder");
  EXPECT_EQ(preselected, elsewhere.string());

  // A folder of this system is preselected as well; cancelling returns nothing.
  playPicker(title, preselected, nullptr);
  EXPECT_EQ(app->BrowseForFolder("Again", elsewhere.string()), std::nullopt);
  EXPECT_EQ(preselected, elsewhere.string());
}

TEST_F(GtkWindowTest, AListUnderAControlReturnsTheItemChosenOrNothingWhenDismissed) {
  Open(0x0409);
  ShowAndDraw();
  const ui::TControl& anchor = window->bChangeDirectory;
  const std::vector<std::string> items = {"Browse...", "Use the default folder", "Forget"};

  // The pop-up list of the anchor, once it is on the screen.
  auto shownMenu = [&]() -> GtkWidget* {
    GtkWidget* shown = nullptr;
    for (GList* it = gtk_menu_get_for_attach_widget(W(anchor)); it; it = it->next) {
      if (gtk_widget_get_mapped(GTK_WIDGET(it->data))) shown = GTK_WIDGET(it->data);
    }
    return shown;
  };
  std::vector<std::string> labels;
  Box menuBox;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  Every([&] {
    GtkWidget* menu = shownMenu();
    if (!menu) return std::chrono::steady_clock::now() < deadline;
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* it = children; it; it = it->next) {
      labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(it->data)));
    }
    GtkWidget* second = GTK_WIDGET(g_list_nth_data(children, 1));
    g_list_free(children);
    gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(menu)), &menuBox.x,
                          &menuBox.y);
    gtk_menu_shell_activate_item(GTK_MENU_SHELL(menu), second, TRUE);
    return false;
  });
  EXPECT_EQ(app->ChooseFromList(anchor, items), 1);
  EXPECT_EQ(labels, items);
  // It opened under the anchor, at its left edge.
  GtkAllocation a;
  gtk_widget_get_allocation(W(anchor), &a);
  int anchorX = 0, anchorY = 0;
  gdk_window_get_origin(gtk_widget_get_window(W(anchor)), &anchorX, &anchorY);
  EXPECT_EQ(menuBox.x, anchorX + a.x);
  EXPECT_EQ(menuBox.y, anchorY + a.y + a.height);

  // The list holds the pointer, also when opened from a timer rather than a click, so a
  // click elsewhere reaches it and dismisses it; then there is no choice.
  bool grabbed = false;
  Every([&] {
    GtkWidget* menu = shownMenu();
    if (!menu) return std::chrono::steady_clock::now() < deadline;
    GdkDisplay* display = gtk_widget_get_display(menu);
    grabbed = gdk_display_device_is_grabbed(
        display, gdk_seat_get_pointer(gdk_display_get_default_seat(display)));
    gtk_menu_shell_cancel(GTK_MENU_SHELL(menu));
    return false;
  });
  EXPECT_EQ(app->ChooseFromList(anchor, items), std::nullopt);
  EXPECT_TRUE(grabbed);
}

// The install script's transfer never ends by itself: it runs until the downloader gives
// it up (a bounded time, so a broken abort fails the test rather than hanging it).
class EndlessScript final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const std::filesystem::path&,
                      const TransferProgress& progress) override {
    if (url.find(kScriptRequest) == std::string::npos) return kTransferNotFound;
    started = true;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (progress(1, 100)) {
      if (std::chrono::steady_clock::now() > deadline) return kTransferOk;
      std::this_thread::sleep_for(1ms);
    }
    aborted = true;
    return kTransferAborted;
  }
  void AbortAll() override {}
  std::atomic<bool> started{false};
  std::atomic<bool> aborted{false};
};

TEST_F(GtkWindowTest, ClosingTheWindowDuringATransferEndsTheRunPromptly) {
  test::Sandbox sandbox;
  auto service = std::make_shared<EndlessScript>();
  Open(0x0409, TStartup{.transport = service, .gameDirectory = sandbox.Dir()});
  TfWindow& w = *window;

  // The player presses install, and closes the window while the script downloads.
  std::atomic<bool> closeAsked{false};
  std::atomic<bool> runEnded{false};
  // The click runs the install inside this tick, as a click handler does.
  Every([&] {
    if (!W(w.bProcess) || !gtk_widget_get_mapped(W(w))) return true;
    gtk_button_clicked(GTK_BUTTON(W(w.bProcess)));
    return false;
  });
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  Every([&] {
    if (!service->started && std::chrono::steady_clock::now() < deadline) return true;
    closeAsked = true;
    gtk_window_close(GTK_WINDOW(W(w)));
    return false;
  });
  bool endedInTime = false;
  std::thread watch([&] {
    test::WaitUntil([&] { return closeAsked.load(); }, kLimit + 10s);
    endedInTime = test::WaitUntil([&] { return runEnded.load(); }, 1s);
    // A run that missed the bound is ended here, so the test fails rather than hangs.
    if (!endedInTime) {
      app->Terminate();
      g_main_context_wakeup(nullptr);
    }
  });
  app->Run(w);
  runEnded = true;
  watch.join();
  EXPECT_TRUE(service->started);
  EXPECT_TRUE(endedInTime);
  EXPECT_TRUE(service->aborted);
  EXPECT_EQ(w.LastInstallOutcome(), TInstallOutcome::Closing);
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(gtk_widget_get_visible(W(w)));
  bool handedOver = true;
  std::thread late([&] { handedOver = app->Synchronize([] {}); });
  late.join();
  EXPECT_FALSE(handedOver);
}

}  // namespace
}  // namespace ovix
