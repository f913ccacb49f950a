#pragma once
// install.log in the user's data folder: what each install did, for the player to read and to
// send along with a question. Appended to, never rewritten; opened at 1 MB or more (an install
// or an undo begins), it is first moved to install.log.1 (that one to install.log.2), so three
// files are kept and each holds every install it has from its first line on.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "script/install_journal.h"

namespace ovix {

inline constexpr std::uintmax_t kInstallLogLimit = 1 << 20;

struct TUndoReport;

class TInstallLog {
 public:
  // Opens `folder`/install.log for appending; a log that cannot be opened writes nothing.
  explicit TInstallLog(const std::filesystem::path& folder);
  // One line, stamped with the time (UTC); line breaks in the text become blanks. A line
  // that need not be on disk at once (one of many files changed) waits for the next that
  // must, or for the log's end.
  void Line(std::string_view text, bool atOnce = true);
  const std::filesystem::path& Path() const { return path_; }

 private:
  void Rotate();

  std::filesystem::path path_;
  std::ofstream out_;
  std::uintmax_t size_ = 0;
  std::int64_t stampSecond_ = -1;  // the second the stamp below was made for
  std::string stamp_;
};

// How the log words a change the journal recorded: "replaced", "created", "deleted",
// "deleted folder", "made folder".
std::string_view RecordWords(TJournalRecord change);

// An undo's lines: the game folder, the outcome, and each file not put back or changed since.
void LogUndo(TInstallLog& log, std::string_view gameFolder, const TUndoReport& report);

}  // namespace ovix
