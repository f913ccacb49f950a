#pragma once
// The install on the terminal: each status, percentage, message and question printed as the
// window would show it, with no window at all.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "lang/languages.h"
#include "trust/minisign.h"

namespace ovix {

struct TUndoReport;

// "kind: text", in the console's encoding, at once.
void PrintLine(const char* kind, std::string_view text);
// What an undo came to, and each file it could not put back or found changed.
void PrintUndo(const TUndoReport& report);

// What the command line settled before the install.
struct TConsoleInstall {
  std::string gameFolder;               // Windows form; empty: searched for as the window does
  std::optional<TLanguage> language;    // --language; none: the locale's
  std::vector<TPublicKey> trustedKeys;  // --trust, beside the built-in ones
  std::string script;                   // --script in Windows form; empty: the service's
};

// Runs the install (or the dry run) the options ask for; the exit status.
int RunConsoleInstall(const TCliOptions& options, const TConsoleInstall& install);

}  // namespace ovix
