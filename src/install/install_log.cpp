#include "install/install_log.h"

#include <chrono>
#include <ctime>
#include <string>
#include <system_error>

#include "script/install_journal.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

std::string Stamp(std::time_t now) {
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &now);
#else
  gmtime_r(&now, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &parts);
  return text;
}

}  // namespace

TInstallLog::TInstallLog(const fs::path& folder) : path_(folder / "install.log") {
  std::error_code error;
  fs::create_directories(folder, error);
  size_ = fs::file_size(path_, error);
  if (error) size_ = 0;
  if (size_ >= kInstallLogLimit) Rotate();
  out_.open(path_, std::ios::binary | std::ios::app);
}

// Before the log is opened.
void TInstallLog::Rotate() {
  std::error_code error;
  const fs::path older = path_.string() + ".1";
  fs::rename(older, path_.string() + ".2", error);
  fs::rename(path_, older, error);
  size_ = 0;
}

void TInstallLog::Line(std::string_view text, bool atOnce) {
  if (!out_.is_open()) return;
  // Many lines fall in one second: the stamp is made once per second.
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  if (now != stampSecond_) {
    stampSecond_ = now;
    stamp_ = Stamp(now);
  }
  std::string line = stamp_ + "  ";
  for (const char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += '\n';
  out_ << line;
  if (atOnce) out_.flush();
  size_ += line.size();
}

std::string_view RecordWords(TJournalRecord change) {
  switch (change) {
    case TJournalRecord::Replaced:
      return "replaced";
    case TJournalRecord::Created:
      return "created";
    case TJournalRecord::Deleted:
      return "deleted";
    case TJournalRecord::DeletedFolder:
      return "deleted folder";
    case TJournalRecord::MadeFolder:
      return "made folder";
  }
  return "changed";
}

void LogUndo(TInstallLog& log, std::string_view gameFolder, const TUndoReport& report) {
  const std::string game(gameFolder);
  switch (report.result) {
    case TUndoResult::Undone:
      log.Line("undo of " + game + ": back as it was before the install (" +
               report.journal.string() + ")");
      break;
    case TUndoResult::NothingToUndo:
      log.Line("undo of " + game + ": no install left to undo");
      break;
    case TUndoResult::Refused:
      log.Line("undo of " + game + ": refused, files were changed since the install");
      for (const fs::path& file : report.changed) log.Line("changed since: " + file.string());
      break;
    case TUndoResult::Incomplete:
      log.Line("undo of " + game + ": incomplete");
      for (const TUndoFailure& failure : report.failed) {
        log.Line("not put back: " + failure.path.string() + ": " + failure.reason);
      }
      break;
    case TUndoResult::Damaged:
      log.Line("undo of " + game + ": refused, the journal " + report.journal.string() +
               " cannot be believed");
      for (const std::string& why : report.damage) log.Line("damaged: " + why);
      break;
  }
  if (!report.keptAside.empty()) {
    log.Line("what was changed since the install is kept in " + report.keptAside.string());
  }
}

}  // namespace ovix
