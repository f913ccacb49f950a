#include <stdlib.h>

#include "cli/cli_platform.h"

namespace ovix {

// The console speaks the locale's encoding, UTF-8 on any current system.
TConsoleSession::TConsoleSession() = default;
TConsoleSession::~TConsoleSession() = default;

void SetProcessEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace ovix
