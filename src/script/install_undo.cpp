// Undoing an install from its journal: believed only when sound, never replacing or removing
// what was made after the install, and finished where a kill cut an undo off.

#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "os/files.h"
#include "script/install_journal.h"
#include "script/journal_text.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using journal::Exists;
using journal::FileState;
using journal::IsRealFolder;
using journal::TEntry;
using journal::TJournalText;

bool IsEmptyFolder(const fs::path& path) {
  std::error_code error;
  return IsRealFolder(path) && fs::is_empty(path, error) && !error;
}

// Moves `from` to `to`, across volumes by a copy that keeps its times.
bool MoveAcross(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::rename(from, to, error);
  if (!error) return true;
  if (!CopyKeepingTimes(from, to)) {
    fs::remove_all(to, error);
    return false;
  }
  fs::remove_all(from, error);
  return true;
}

// Puts a kept original back at `path`, replacing what stands there: moved, or across volumes
// copied beside the target and moved over it in one step, so the target is never half written.
bool Restore(const fs::path& backup, const fs::path& path) {
  if (MoveReplacing(backup, path)) return true;
  std::error_code error;
  fs::rename(backup, path, error);
  if (!error) return true;
  const fs::path partial = PartialFileBeside(path);
  if (!CopyKeepingTimes(backup, partial) || !MoveReplacing(partial, path)) {
    fs::remove_all(partial, error);
    return false;
  }
  fs::remove_all(backup, error);
  return true;
}

// Notes the entries whose path lies outside the game folder: an undo never writes there.
void CheckPlaces(TJournalText& text, const TFolderScope& game) {
  for (const TEntry& entry : text.entries) {
    if (!game.Contains(entry.path)) {
      text.damage.push_back(entry.path.string() + " lies outside the game folder");
    }
  }
}

// Moves a damaged journal out of every undo's way, with what it keeps; its new place, or empty.
fs::path SetAside(const fs::path& folder) {
  for (int n = 1; n < 100; ++n) {
    fs::path aside = folder;
    aside += n == 1 ? ".damaged" : ".damaged-" + std::to_string(n);
    if (Exists(aside)) continue;
    std::error_code error;
    fs::rename(folder, aside, error);
    return error ? fs::path() : aside;
  }
  return {};
}

std::optional<TJournalText> ReadChecked(const fs::path& folder, const fs::path& gameFolder) {
  std::optional<TJournalText> text = journal::ReadJournal(folder);
  if (text) CheckPlaces(*text, TFolderScope(gameFolder));
  return text;
}

using TProblem = std::optional<std::string>;

// The journal file without a last line a kill cut off, so that the undo's own lines begin on a
// line of their own.
fs::path WithoutCutOffLine(const fs::path& file) {
  const std::optional<std::string> text = ReadWholeFile(file);
  if (text && text->find('\n') != std::string::npos && text->back() != '\n') {
    std::error_code ignored;
    fs::resize_file(file, text->rfind('\n') + 1, ignored);
  }
  return file;
}

class TUndo {
 public:
  TUndo(const TJournalText& text, const fs::path& dataFolder, bool force, TUndoReport& report)
      : text_(text),
        entries_(text.entries),
        backups_(report.journal / journal::kBackups),
        keptAside_(dataFolder / "kept" / report.journal.filename()),
        force_(force),
        report_(report),
        out_(WithoutCutOffLine(report.journal / journal::kJournalFile),
             std::ios::binary | std::ios::app) {}

  // The paths where what stands now was made or changed after the install, where an undo
  // would replace or remove it: for each path, as the install's last change left it.
  std::vector<fs::path> ChangedSince() const {
    std::map<fs::path, std::size_t> last;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const TEntry& entry = entries_[i];
      if (entry.kind == 'T') {
        // What the install wrote in a folder it deleted comes back with the folder.
        std::erase_if(last, [&](const auto& item) { return IsAtOrBelow(item.first, entry.path); });
      }
      // A write that failed in an install that ran to its end changed nothing.
      const bool made = entry.kind != 'W' || entry.completed || !text_.ended;
      if ((entry.kind == 'W' || entry.kind == 'D' || entry.kind == 'T') && made) {
        last[entry.path] = i;
      }
    }
    std::vector<fs::path> changed;
    for (const auto& [path, index] : last) {
      if (!text_.undone.contains(index) && StandsChanged(index)) changed.push_back(path);
    }
    return changed;
  }

  void Run() {
    // What a killed install or undo left beside its targets goes first: a folder the install
    // made must be empty again to go.
    std::set<fs::path> folders;
    for (const TEntry& entry : entries_) {
      folders.insert(entry.kind == 'F' ? entry.path : entry.path.parent_path());
    }
    for (const fs::path& folder : folders) RemoveStalePartialFiles(folder);
    for (std::size_t i = entries_.size(); i-- > 0;) {
      if (text_.undone.contains(i)) continue;
      if (const TProblem problem = Step(i)) {
        report_.failed.push_back({entries_[i].path, *problem});
        continue;
      }
      Mark('U', i);
    }
  }

 private:
  fs::path Backup(const TEntry& entry) const { return backups_ / entry.detail; }

  // Whether what stands at the entry's path came after the install.
  bool StandsChanged(std::size_t index) const {
    const TEntry& entry = entries_[index];
    if (text_.begun.contains(index)) return false;  // an undo began here: what stands is its own
    const fs::path backup = Backup(entry);
    switch (entry.kind) {
      case 'W':
        return entry.completed && FileState(entry.path) != entry.state;
      case 'D':
        return Exists(backup) && Exists(entry.path) && FileState(entry.path) != FileState(backup);
      case 'T':
        return Exists(backup) && entry.leftPlace && Exists(entry.path) &&
               !IsEmptyFolder(entry.path);
      default:
        return false;
    }
  }

  void Mark(char kind, std::size_t index) {
    out_ << kind << '\t' << index << '\n';
    out_.flush();
  }

  // Puts entry `index` back; why not, when it cannot.
  TProblem Step(std::size_t index) {
    const TEntry& entry = entries_[index];
    const fs::path backup = Backup(entry);
    const bool begun = text_.begun.contains(index);
    std::error_code error;
    switch (entry.kind) {
      case 'W':
        if (entry.detail == "-") {
          if (!Exists(entry.path) || IsRealFolder(entry.path)) return std::nullopt;
          // The write failed in an install that ran to its end: what stands came later.
          if (!entry.completed && text_.ended) return std::nullopt;
          if (const TProblem problem = MakeWay(index)) return problem;
          Mark('P', index);
          fs::remove(entry.path, error);
          return error ? TProblem("it cannot be removed") : std::nullopt;
        }
        if (!Exists(backup)) {
          // Put back before a kill, or a change that was never made.
          if (begun || !entry.completed) return std::nullopt;
          return "the original kept for it is missing";
        }
        // Never replaced: the original still stands.
        if (!entry.completed && text_.ended) return std::nullopt;
        return PutBack(index);
      case 'D':
      case 'T':
        if (!Exists(backup)) {
          // Never deleted, or put back before a kill.
          if (Exists(entry.path) || begun) return std::nullopt;
          return "the original kept for it is missing";
        }
        if (Exists(entry.path)) {
          if (begun) return std::nullopt;  // put back before a kill, the copy not yet gone
          if (entry.kind == 'D' && FileState(entry.path) == FileState(backup)) return std::nullopt;
          if (entry.kind == 'T' && !entry.leftPlace) return std::nullopt;
        }
        return PutBack(index);
      case 'F':
        // Only when empty: what the player put there since stays.
        if (IsRealFolder(entry.path)) fs::remove(entry.path, error);
        return std::nullopt;
      default:
        return std::nullopt;
    }
  }

  TProblem PutBack(std::size_t index) {
    const TEntry& entry = entries_[index];
    if (const TProblem problem = MakeWay(index)) return problem;
    std::error_code error;
    // An empty folder in its place goes before the line that says the putting back began.
    if (entry.kind == 'T' && IsEmptyFolder(entry.path)) fs::remove(entry.path, error);
    Mark('P', index);
    if (!Restore(Backup(entry), entry.path)) return "it cannot be put back";
    return std::nullopt;
  }

  // Clears the entry's path of what came after the install: only with force, and kept aside.
  TProblem MakeWay(std::size_t index) {
    const TEntry& entry = entries_[index];
    if (!StandsChanged(index)) return std::nullopt;
    if (!force_) {
      return entry.kind == 'W' ? "it was changed since the install"
                               : "something made since the install stands in its place";
    }
    std::error_code error;
    fs::create_directories(keptAside_, error);
    const fs::path kept =
        keptAside_ / (std::to_string(index) + "-" + entry.path.filename().string());
    if (!MoveAcross(entry.path, kept)) return "what stands there now cannot be kept aside";
    report_.keptAside = keptAside_;
    return std::nullopt;
  }

  const TJournalText& text_;
  const std::vector<TEntry>& entries_;
  const fs::path backups_;
  const fs::path keptAside_;
  const bool force_;
  TUndoReport& report_;
  std::ofstream out_;
};

}  // namespace

TUndoReport UndoLastInstall(const fs::path& dataFolder, const fs::path& gameFolder, bool force) {
  TUndoReport report;
  const std::vector<fs::path> journals = journal::JournalsOf(dataFolder, gameFolder);
  if (journals.empty()) return report;
  report.journal = journals.back();
  const std::optional<TJournalText> text = ReadChecked(report.journal, gameFolder);
  if (!text) return report;
  if (!text->damage.empty()) {
    report.result = TUndoResult::Damaged;
    report.damage = text->damage;
    const fs::path aside = SetAside(report.journal);
    report.damage.push_back(aside.empty() ? "the journal cannot be set aside"
                                          : "the journal is set aside as " + aside.string());
    return report;
  }
  {
    TUndo undo(*text, dataFolder, force, report);
    // An undo cut off has changed files itself; each step still checks its own.
    if (!force && text->undone.empty() && text->begun.empty()) {
      report.changed = undo.ChangedSince();
      if (!report.changed.empty()) {
        report.result = TUndoResult::Refused;
        return report;
      }
    }
    undo.Run();
  }  // the journal is closed here: Windows removes no file that is open
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
  const std::vector<fs::path> journals = journal::JournalsOf(dataFolder, gameFolder);
  if (journals.empty()) return false;
  const std::optional<TJournalText> text = ReadChecked(journals.back(), gameFolder);
  return text && text->damage.empty() &&
         (!text->ended || !text->undone.empty() || !text->begun.empty());
}

std::vector<TSetAsideJournal> SetAsideDamagedJournals(const fs::path& dataFolder,
                                                      const fs::path& gameFolder) {
  std::vector<TSetAsideJournal> setAside;
  for (const fs::path& folder : journal::JournalsOf(dataFolder, gameFolder)) {
    const std::optional<TJournalText> text = ReadChecked(folder, gameFolder);
    if (!text || text->damage.empty()) continue;
    const fs::path aside = SetAside(folder);
    setAside.push_back({aside.empty() ? folder : aside, text->damage});
  }
  return setAside;
}

}  // namespace ovix
