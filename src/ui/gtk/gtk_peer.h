#pragma once
// One GTK widget mirroring one control. A form is a window holding one GtkFixed; every
// other control's widget sits in that GtkFixed at the control's place in the form.

#include <gtk/gtk.h>

#include "ui/control_peer.h"

namespace ovix::ui::gtk {

class GtkBackendApplication;

class GtkPeer final : public ControlPeer {
 public:
  GtkPeer(GtkBackendApplication& app, TControl& control);
  ~GtkPeer() override;
  GtkPeer(const GtkPeer&) = delete;
  GtkPeer& operator=(const GtkPeer&) = delete;

  void Update(TChange change) override;
  // The control's widget; the GtkWindow for a form.
  GtkWidget* Widget() const { return widget_; }
  TControl& Control() const { return control_; }

  // Whether a toplevel is a form's window.
  static bool IsFormWindow(GtkWidget* window);

 private:
  void CreateForm();
  void CreateChild();
  // Puts the widget at the control's place in the form, then its children at theirs.
  void Place();
  void FillItems();
  void SetActiveItem();
  GtkPeer& FormPeer() const;
  // Runs a state change without reporting it back as the user's.
  template <typename Push>
  void Quietly(Push push);

  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer peer);
  static void OnClicked(GtkButton*, gpointer peer);
  static void OnToggled(GtkToggleButton*, gpointer peer);
  static void OnComboChanged(GtkComboBox*, gpointer peer);
  static gboolean OnFocus(GtkWidget*, GtkDirectionType direction, gpointer peer);

  GtkBackendApplication& app_;
  TControl& control_;
  GtkWidget* widget_ = nullptr;
  GtkWidget* fixed_ = nullptr;     // a form's: holds every other control's widget
  GtkWidget* label_ = nullptr;     // the caption of a button, check box or group box
  GtkListStore* items_ = nullptr;  // a combo box's
  GtkCssProvider* style_ = nullptr;
  gulong userHandler_ = 0;  // the handler that reports the user's input to the control
};

}  // namespace ovix::ui::gtk
