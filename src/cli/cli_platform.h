#pragma once
// What the console front end needs of the system.

#include <optional>
#include <string>

namespace ovix {

// For the life of the program: UTF-8 on the console, and the system services the
// window's code expects on this thread (the shell's objects on Windows). Made first thing
// in main: on Windows it also narrows the DLL search to the system directory.
class TConsoleSession {
 public:
  TConsoleSession();
  ~TConsoleSession();
  TConsoleSession(const TConsoleSession&) = delete;
  TConsoleSession& operator=(const TConsoleSession&) = delete;

 private:
  [[maybe_unused]] bool comReady_ = false;  // only Windows has a COM apartment to end
};

// A script argument as the window takes it, a Windows path or an address. Off Windows, an
// existing file named by a path of this system is named by its Windows path in the Wine
// prefix; nullopt when it lies on none of the prefix's drives.
std::optional<std::string> WindowsScriptArgument(const std::string& argument);

}  // namespace ovix
