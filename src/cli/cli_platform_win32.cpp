#include <stdlib.h>

#include "cli/cli_platform.h"
#include "os/dll_search.h"
#include "os/text.h"
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

void SetProcessEnvironment(const std::string& name, const std::string& value) {
  _wputenv_s(Widen(name).c_str(), Widen(value).c_str());
}

std::optional<std::string> WindowsScriptArgument(const std::string& argument) { return argument; }

}  // namespace ovix
