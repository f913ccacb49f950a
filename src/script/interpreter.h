#pragma once
// The install script: one command per line, run against whatever carries the
// commands out (the main window, or a recording double in tests).

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ovix {

// A command that cannot be carried out, such as a PERCENT value that is no number.
class TScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The effects of the commands. Failures are exceptions; IF_EXISTS and IF_NEXISTS
// blocks catch those raised inside them.
class TScriptHost {
 public:
  // STATUS: code is the last two characters of the command word.
  virtual void Status(std::string_view code, std::string_view text) = 0;
  virtual void Percent(int value) = 0;
  // GETFILE: downloads and waits for the end; false when the application is
  // terminating, which ends the whole run. `more` is the line's text after its two
  // arguments (a `sha256=` word, or nothing).
  virtual bool GetFile(const std::string& url, const std::string& destination,
                       std::string_view more) = 0;
  virtual void Unpack(const std::string& archive, const std::string& destinationDirectory) = 0;
  virtual void Copy(const std::string& source, const std::string& destination) = 0;
  virtual void RemoveDirectoryTree(const std::string& directory) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Called once per scanned character, so the window can stay responsive.
  virtual void Pump() = 0;

 protected:
  ~TScriptHost() = default;
};

// Runs the text and returns the 1-based position where the run stopped: the line
// end after a top-level ENDIF, or the text's length. Blocks nest without using
// the call stack, so any depth of IF blocks is safe.
std::size_t RunScript(TScriptHost& host, std::string_view text, bool execute);

// Appends to rest (emptied first) the characters from position (1-based) up to the
// next CR or LF or the text's end; position ends on that line end, or one past the end.
void ReadLineRest(std::string_view text, std::size_t& position, std::string& rest);

// The integer a text spells: leading blanks, an optional sign, decimal digits or
// hexadecimal ones after "$" or "0x". Anything else throws TScriptError.
int StrToInt(std::string_view text);

}  // namespace ovix
