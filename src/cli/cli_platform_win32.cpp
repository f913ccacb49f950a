#include "cli/cli_platform.h"
#include "os/dll_search.h"
#include "os/windows_api.h"

namespace ovix {

TConsoleSession::TConsoleSession() {
  // Before anything loads a DLL, COM included.
  RestrictDllSearchToSystem();
  comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  SetConsoleOutputCP(CP_UTF8);
}

TConsoleSession::~TConsoleSession() {
  if (comReady_) CoUninitialize();
}

std::optional<std::string> WindowsScriptArgument(const std::string& argument) { return argument; }

}  // namespace ovix
