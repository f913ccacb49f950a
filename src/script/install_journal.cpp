#include "script/install_journal.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "os/files.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "ovix-journal 1";
constexpr std::string_view kJournalFile = "journal";
constexpr std::string_view kBackups = "files";

// Journal lines are tab-separated; a path may hold any character but NUL.
std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return Escape(std::string(text.begin(), text.end()));
}

fs::path TextPath(std::string_view text) {
  const std::string raw = Unescape(text);
  return fs::path(std::u8string(raw.begin(), raw.end()));
}

// The folder as the journal names it: absolute, links resolved as far as it exists.
fs::path Normal(const fs::path& path) {
  std::error_code error;
  fs::path normal = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? path.lexically_normal() : normal;
}

// By name only, without looking at the disk: what the script's paths resolve to already is.
fs::path Lexical(const fs::path& path) {
  std::error_code error;
  return fs::absolute(path, error).lexically_normal();
}

std::string FileState(const fs::path& file) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) return "-";
  const auto time = fs::last_write_time(file, error);
  if (error) return "-";
  return std::to_string(size) + ":" + std::to_string(time.time_since_epoch().count());
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

bool IsRealFolder(const fs::path& path) {
  std::error_code error;
  return !fs::is_symlink(path, error) && fs::is_directory(path, error);
}

// Keeps `original` at `kept`: by a hard link (the change replaces the name, not the data), or
// by moving it when the change deletes it; by a copy where neither works (another volume).
bool KeepAside(const fs::path& original, const fs::path& kept, bool move) {
  std::error_code error;
  if (move) {
    fs::rename(original, kept, error);
  } else {
    fs::create_hard_link(original, kept, error);
  }
  if (!error) return true;
  error.clear();
  fs::copy(original, kept, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  return !error;
}

struct TEntry {
  char kind = 0;
  std::string detail;
  fs::path path;
};

struct TJournalText {
  fs::path gameFolder;
  std::vector<TEntry> entries;
  bool ended = false;
  std::set<std::size_t> undone;  // entries already put back by an undo that was cut off
};

std::optional<TJournalText> ReadJournal(const fs::path& folder) {
  const std::optional<std::string> text = ReadWholeFile(folder / kJournalFile);
  if (!text) return std::nullopt;
  std::istringstream lines(*text);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return std::nullopt;
  TJournalText journal;
  while (std::getline(lines, line)) {
    // A line cut off by a kill has no end of line; it is the last and is ignored.
    if (lines.eof()) break;
    const std::size_t first = line.find('\t');
    if (line.size() < 2 || first != 1) continue;
    const std::size_t second = line.find('\t', 2);
    const std::string detail = line.substr(2, second == std::string::npos ? second : second - 2);
    const fs::path path =
        second == std::string::npos ? fs::path() : TextPath(line.substr(second + 1));
    switch (line[0]) {
      case 'G':
        journal.gameFolder = TextPath(detail);
        break;
      case 'E':
        journal.ended = true;
        break;
      case 'U':
        journal.undone.insert(std::stoul(detail));
        break;
      default:
        journal.entries.push_back({line[0], detail, path});
    }
  }
  if (journal.gameFolder.empty()) return std::nullopt;
  return journal;
}

// The journals of `gameFolder`, oldest first.
std::vector<fs::path> JournalsOf(const fs::path& dataFolder, const fs::path& gameFolder) {
  std::vector<fs::path> journals;
  const fs::path game = Normal(gameFolder);
  std::error_code error;
  for (fs::directory_iterator it(dataFolder / "installs", error), end; !error && it != end;
       it.increment(error)) {
    const std::optional<TJournalText> journal = ReadJournal(it->path());
    if (journal && journal->gameFolder == game) journals.push_back(it->path());
  }
  std::sort(journals.begin(), journals.end());
  return journals;
}

// Puts a kept original back at `path`, replacing what stands there.
bool Restore(const fs::path& backup, const fs::path& path) {
  std::error_code error;
  if (MoveReplacing(backup, path)) return true;
  fs::rename(backup, path, error);
  if (!error) return true;
  // Another volume: through a file beside the target, as every write into the game goes.
  const fs::path partial = PartialFileBeside(path);
  fs::copy(backup, partial, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error || !MoveReplacing(partial, path)) {
    fs::remove_all(partial, error);
    return false;
  }
  fs::remove_all(backup, error);
  return true;
}

}  // namespace

TInstallJournal::TInstallJournal(fs::path folder, fs::path gameFolder)
    : folder_(std::move(folder)), gameFolder_(std::move(gameFolder)) {}

TInstallJournal::~TInstallJournal() { out_.flush(); }

std::unique_ptr<TInstallJournal> TInstallJournal::Begin(const fs::path& dataFolder,
                                                        const fs::path& gameFolder,
                                                        std::string& error) {
  const fs::path installs = dataFolder / "installs";
  std::error_code code;
  fs::create_directories(installs, code);
  // Numbered in order; a number another process took first is skipped.
  int next = 1;
  for (fs::directory_iterator it(installs, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    if (!name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      next = std::max(next, std::stoi(name) + 1);
  }
  fs::path folder;
  for (int attempt = 0; attempt < 100; ++attempt, ++next) {
    std::string name = std::to_string(next);
    name.insert(0, name.size() < 8 ? 8 - name.size() : 0, '0');
    folder = installs / name;
    if (fs::create_directory(folder, code) && !code) break;
    folder.clear();
  }
  if (folder.empty() || !fs::create_directory(folder / kBackups, code) || code) {
    error = "the journal cannot be made in " + installs.string();
    return nullptr;
  }
  std::unique_ptr<TInstallJournal> journal(new TInstallJournal(folder, Normal(gameFolder)));
  journal->out_.open(folder / kJournalFile, std::ios::binary);
  journal->out_ << kHeader << '\n' << "G\t" << PathText(journal->gameFolder_) << '\n';
  journal->out_.flush();
  if (!journal->out_) {
    error = "the journal cannot be written in " + folder.string();
    return nullptr;
  }
  std::vector<fs::path> journals = JournalsOf(dataFolder, gameFolder);
  for (std::size_t i = 0; i + kKeptInstalls < journals.size(); ++i)
    fs::remove_all(journals[i], code);
  return journal;
}

bool TInstallJournal::Inside(const fs::path& path) const { return InsideNormal(Lexical(path)); }

bool TInstallJournal::InsideNormal(const fs::path& normal) const {
  // By name: a link inside the game folder (a player's, to another disk) is the game's.
  auto game = gameFolder_.begin();
  auto it = normal.begin();
  for (; game != gameFolder_.end(); ++game, ++it) {
    if (game->empty()) continue;  // a trailing separator
    if (it == normal.end() || *it != *game) return false;
  }
  return it != normal.end();
}

std::string TInstallJournal::NextBackup() { return std::to_string(nextBackup_++); }

void TInstallJournal::Append(char kind, const std::string& detail, const fs::path& path) {
  if (kind != 'E') ++changes_;
  if (onRecord && kind != 'S' && kind != 'E') {
    const std::string_view change = kind == 'W'   ? (detail == "-" ? "created" : "replaced")
                                    : kind == 'D' ? "deleted"
                                    : kind == 'T' ? "deleted folder"
                                                  : "made folder";
    onRecord(change, path);
  }
  out_ << kind << '\t' << detail;
  if (!path.empty()) out_ << '\t' << PathText(path);
  out_ << '\n';
  // A change's line is written before the change. A file's state after its write waits for
  // the next line: a kill that loses it only spares that file the check for later edits.
  if (kind != 'S') out_.flush();
}

bool TInstallJournal::BeforeWrite(const fs::path& file) { return KeepOriginal(PlanWrite(file)); }

TInstallJournal::TPlannedWrite TInstallJournal::PlanWrite(const fs::path& file) {
  const fs::path normal = Lexical(file);
  if (!InsideNormal(normal)) return {};
  if (!Exists(file)) {
    Append('W', "-", normal);
    return {true, {}, {}};
  }
  const std::string backup = NextBackup();
  Append('W', backup, normal);
  return {true, file, folder_ / kBackups / backup};
}

bool TInstallJournal::KeepOriginal(const TPlannedWrite& plan) {
  return plan.original.empty() || KeepAside(plan.original, plan.kept, false);
}

std::string TInstallJournal::StateOf(const fs::path& file) { return FileState(file); }

bool TInstallJournal::BeforeDelete(const fs::path& file) {
  // A real folder is not DELETE's to remove; nothing to delete needs no original.
  if (!Inside(file) || !Exists(file) || IsRealFolder(file)) return true;
  const std::string backup = NextBackup();
  Append('D', backup, Lexical(file));
  return KeepAside(file, folder_ / kBackups / backup, true);
}

bool TInstallJournal::BeforeCreateFolder(const fs::path& folder) {
  if (Inside(folder) && !Exists(folder)) Append('F', "-", Lexical(folder));
  return true;
}

void TInstallJournal::Written(const fs::path& file) {
  const fs::path normal = Lexical(file);
  if (InsideNormal(normal)) Append('S', FileState(file), normal);
}

void TInstallJournal::Written(const fs::path& file, const std::string& state) {
  const fs::path normal = Lexical(file);
  if (InsideNormal(normal)) Append('S', state, normal);
}

bool TInstallJournal::RemoveTree(const fs::path& folder) {
  if (!Exists(folder)) return false;
  const std::string backup = NextBackup();
  Append('T', backup, Lexical(folder));
  if (!KeepAside(folder, folder_ / kBackups / backup, true)) return false;
  // Copied across volumes, the original still stands and goes now.
  std::error_code error;
  if (Exists(folder)) fs::remove_all(folder, error);
  return !error;
}

void TInstallJournal::End(bool succeeded) { Append('E', succeeded ? "ok" : "failed", {}); }

TUndoReport UndoLastInstall(const fs::path& dataFolder, const fs::path& gameFolder, bool force) {
  TUndoReport report;
  const std::vector<fs::path> journals = JournalsOf(dataFolder, gameFolder);
  if (journals.empty()) return report;
  report.journal = journals.back();
  std::optional<TJournalText> journal = ReadJournal(report.journal);
  if (!journal) return report;

  // Files the install wrote that differ now from how it left them; an undo already begun
  // has changed some itself, and goes on.
  if (!force && journal->undone.empty()) {
    std::map<fs::path, std::string> lastState;
    for (const TEntry& entry : journal->entries) {
      if (entry.kind == 'S') lastState[entry.path] = entry.detail;
      if (entry.kind == 'D' || entry.kind == 'T') lastState.erase(entry.path);
    }
    for (const auto& [path, state] : lastState) {
      if (FileState(path) != state) report.changed.push_back(path);
    }
    if (!report.changed.empty()) {
      report.result = TUndoResult::Refused;
      return report;
    }
  }

  // What a killed install left beside its targets goes first: a folder the install made
  // must be empty again to go.
  std::set<fs::path> folders;
  for (const TEntry& entry : journal->entries) {
    folders.insert(entry.kind == 'F' ? entry.path : entry.path.parent_path());
  }
  for (const fs::path& folder : folders) RemoveStalePartialFiles(folder);

  std::ofstream out(report.journal / kJournalFile, std::ios::binary | std::ios::app);
  const fs::path backups = report.journal / kBackups;
  for (std::size_t i = journal->entries.size(); i-- > 0;) {
    if (journal->undone.contains(i)) continue;
    const TEntry& entry = journal->entries[i];
    const fs::path backup = backups / entry.detail;
    std::error_code error;
    bool done = true;
    switch (entry.kind) {
      case 'W':
        if (entry.detail == "-") {
          if (!IsRealFolder(entry.path)) fs::remove(entry.path, error);
          done = !error;
        } else if (Exists(backup)) {
          done = Restore(backup, entry.path);
        }
        // A backup that was never made belongs to a change that was never made.
        break;
      case 'D':
      case 'T':
        // Never moved aside, the original still stands.
        if (!Exists(backup)) break;
        // An empty folder in its place goes; one the player filled since stays, and so
        // does the original, aside.
        if (IsRealFolder(entry.path)) fs::remove(entry.path, error);
        done = !IsRealFolder(entry.path) && Restore(backup, entry.path);
        break;
      case 'F':
        // Only when empty: what the player put there since stays.
        if (IsRealFolder(entry.path)) fs::remove(entry.path, error);
        break;
      default:
        break;
    }
    if (!done) {
      report.failed.push_back(entry.path);
      continue;
    }
    out << "U\t" << i << '\n';
    out.flush();
  }
  out.close();
  if (!report.failed.empty()) {
    report.result = TUndoResult::Incomplete;
    return report;
  }
  std::error_code error;
  fs::remove_all(report.journal, error);
  report.result = TUndoResult::Undone;
  return report;
}

bool HasUnfinishedJournal(const fs::path& dataFolder, const fs::path& gameFolder) {
  const std::vector<fs::path> journals = JournalsOf(dataFolder, gameFolder);
  if (journals.empty()) return false;
  const std::optional<TJournalText> journal = ReadJournal(journals.back());
  return journal && (!journal->ended || !journal->undone.empty());
}

}  // namespace ovix
