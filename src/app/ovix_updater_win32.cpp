// The program entry of the Windows GUI program.

#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "lang/locale.h"
#include "net/service_lists.h"
#include "os/com_win32.h"
#include "os/dll_search.h"
#include "os/text.h"
#include "os/windows_api.h"
#include "ovix_version.h"
#include "ui/win32/win32_application.h"

namespace {

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                     &LocalFree);
  std::vector<std::string> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.push_back(ovix::Narrow(argv.get()[i]));
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ovix::RestrictDllSearchToSystem();
  // The shell-link reader needs COM in a single-threaded apartment on the UI thread.
  const ovix::ComApartment com;
  ovix::ui::win32::Win32Application application;
  application.SetTitle(OVIX_PRODUCT_NAME);
  ovix::TStartup startup{CommandLineArguments(), ovix::UserDefaultLocaleId()};
  startup.serviceUrl = ovix::UpdateServiceUrlFromEnvironment();
  ovix::TfWindow fWindow(application, startup);
  application.Run(fWindow);
  return 0;
}
