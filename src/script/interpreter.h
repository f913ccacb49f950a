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

// One line as the scan met it, performed or not: for hosts that check or describe a script.
// The commands of the language, as the scan recognises their words.
enum class TKeyword {
  Status,  // every STATUS_xx
  GetFile,
  Percent,
  Unpack,
  Copy,
  DeleteDir,
  Delete,
  IfNotExists,
  IfExists,
  If,
  None
};

struct TScannedLine {
  std::size_t offset = 0;  // of the word's first character in the whole text
  // The characters before the line's first blank, or before its end when it has none.
  std::string_view word;
  // The command the word names, or None.
  TKeyword keyword = TKeyword::None;
  bool blank = false;      // the word ended at a blank; `rest` holds the line from there
  std::string_view rest;   // starts with that blank
  bool performed = false;  // in a block that runs
  // For a word without a blank that begins with ENDIF: it closes the innermost open block,
  // or, with none open, ends the whole script there.
  bool closesBlock = false;
  bool endsScript = false;
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
  // Each line with a word, as the scan meets it, before its command is performed.
  virtual void Scanned(const TScannedLine& line) { static_cast<void>(line); }
  // A failure an IF_EXISTS or IF_NEXISTS block caught, in words: the run goes on, but what
  // the block was to do may not be done.
  virtual void GuardCaught(std::string_view failure) { static_cast<void>(failure); }

 protected:
  ~TScriptHost() = default;
};

// Runs the text and returns the 1-based position where the run stopped: the line
// end after a top-level ENDIF, or the text's length. Blocks nest without using
// the call stack, so any depth of IF blocks is safe.
std::size_t RunScript(TScriptHost& host, std::string_view text, bool execute);

// The command a word names, as the scan recognises it (by the word's beginning), or None.
TKeyword KeywordOf(std::string_view word);
// The command's word as scripts write it ("GETFILE"; "STATUS" for every STATUS_xx); empty
// for None.
std::string_view KeywordWord(TKeyword keyword);

// What a command takes from the rest of its line (which starts with the blank after its word):
// STATUS and PERCENT their value after " = ", DELETE and DELETEDIR one path, in double quotes
// or not, the two-argument commands the text their arguments are split from.
std::string_view CommandValue(std::string_view rest);
std::string_view PathArgument(std::string_view rest);
std::string_view ArgumentsText(std::string_view rest);

// A STATUS word's language code: its last two characters.
std::string StatusLanguage(std::string_view word);

// Appends to rest (emptied first) the characters from position (1-based) up to the
// next CR or LF or the text's end; position ends on that line end, or one past the end.
void ReadLineRest(std::string_view text, std::size_t& position, std::string& rest);

// The integer a text spells: leading blanks, an optional sign, decimal digits or
// hexadecimal ones after "$" or "0x". Anything else throws TScriptError.
int StrToInt(std::string_view text);

}  // namespace ovix
