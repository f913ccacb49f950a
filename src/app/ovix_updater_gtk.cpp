// The program entry of the GTK window program.

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "lang/locale.h"
#include "net/service_lists.h"
#include "ovix_version.h"
#include "ui/gtk/gtk_application.h"

int main(int argc, char** argv) {
  // GTK takes its own options (--display and the like) out of argv first.
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "%s: cannot open the display\n", OVIX_PRODUCT_NAME);
    return 1;
  }
  ovix::ui::gtk::GtkBackendApplication application;
  application.SetTitle(OVIX_PRODUCT_NAME);
  ovix::TStartup startup{std::vector<std::string>(argv + 1, argv + argc),
                         ovix::UserDefaultLocaleId()};
  startup.serviceUrl = ovix::UpdateServiceUrlFromEnvironment();
  ovix::TfWindow fWindow(application, startup);
  application.Run(fWindow);
  return 0;
}
