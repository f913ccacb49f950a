#pragma once
// The GTK 3 backend: GTK widgets, the GLib main loop, and the hand-over to the UI thread
// through a GLib source that any thread can make ready.

#include <gtk/gtk.h>

#include <mutex>

#include "ui/application.h"

namespace ovix::ui::gtk {

class GtkBackendApplication final : public Application {
 public:
  // GTK must be initialised (gtk_init) on this thread, which becomes the UI thread.
  // Throws std::runtime_error when GTK has no display.
  GtkBackendApplication();
  ~GtkBackendApplication() override;

  int Dpi() const override { return dpi_; }
  TSize MeasureText(const TFont& font, std::string_view text) override;
  std::unique_ptr<ControlPeer> CreatePeer(TControl& control) override;
  std::optional<std::string> BrowseForFolder(std::string_view prompt,
                                             std::string_view initial) override;
  std::optional<int> ChooseFromList(const TControl& anchor,
                                    const std::vector<std::string>& items) override;
  void ProcessMessages() override;
  void WaitForWork(std::chrono::milliseconds limit) override;
  void Run(TForm& mainForm) override;

  // Backend internals shared with the peers.
  // The text attributes that draw a font; a new list the caller unrefs.
  static PangoAttrList* FontAttributes(const TFont& font);
  TForm* MainForm() const { return mainForm_; }
  // The window dialogs belong to: the main form's, else any shown form's; may be null.
  GtkWindow* DialogParent() const;

 protected:
  TMsgResult ShowMessageBox(std::string_view text, TMsgIcon icon, TMsgButtons buttons) override;
  void WakeUiThread() override;

 private:
  static gboolean DispatchWake(GSource* source, GSourceFunc, gpointer);

  int dpi_;
  // Made ready by WakeUiThread; dispatching it runs the hand-overs.
  GSource* wake_ = nullptr;
  std::mutex wakeMutex_;
  // A label never shown: text is measured in the same Pango context labels draw in.
  GtkWidget* measurer_ = nullptr;
  GtkCssProvider* css_ = nullptr;
  TForm* mainForm_ = nullptr;
};

// The widget behind a control once its peer exists (the GtkWindow for a form); for tests
// and drivers.
GtkWidget* WidgetOf(const TControl& control);

}  // namespace ovix::ui::gtk
