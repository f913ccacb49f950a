#include <filesystem>

#include "cli/cli_platform.h"
#include "os/windows_path.h"

namespace ovix {

// The console speaks the locale's encoding, UTF-8 on any current system.
TConsoleSession::TConsoleSession() = default;
TConsoleSession::~TConsoleSession() = default;

std::optional<std::string> WindowsScriptArgument(const std::string& argument) {
  // "C:\s.txt" and "http://h/s.txt" are taken as given, even where a file of that name
  // stands in the current folder.
  const bool drivePath = argument.size() >= 2 && argument[1] == ':';
  std::error_code error;
  if (drivePath || argument.find("://") != std::string::npos ||
      !std::filesystem::is_regular_file(argument, error)) {
    return argument;
  }
  std::string windowsPath = ToWindowsPath(argument);
  if (windowsPath.empty()) return std::nullopt;
  return windowsPath;
}

}  // namespace ovix
