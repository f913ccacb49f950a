#include "script/install_journal.h"

#include <algorithm>
#include <system_error>

#include "os/files.h"
#include "os/text.h"
#include "script/journal_text.h"
#include "script/unpack_files.h"

namespace ovix {
namespace {

// The name a journal beyond the kept ones takes until it is deleted.
constexpr const char kPrunedSuffix[] = ".pruned";

namespace fs = std::filesystem;
using journal::Exists;
using journal::IsRealFolder;
using journal::kBackups;
using journal::kHeader;
using journal::kJournalFile;

// A whole copy at `kept`, or none: made under a name the undo never takes, on the disk, and
// only then given its own.
bool CopyWhole(const fs::path& original, const fs::path& kept) {
  fs::path partial = kept;
  partial += ".partial";
  std::error_code error;
  if (CopyKeepingTimes(original, partial, true)) {
    fs::rename(partial, kept, error);
    if (!error) return true;
  }
  fs::remove_all(partial, error);
  return false;
}

// Keeps `original` at `kept`: by a hard link (the change replaces the name, not the data), or
// by moving it when the change deletes it; by a whole copy where neither works (another
// volume).
bool KeepAside(const fs::path& original, const fs::path& kept, bool move) {
  std::error_code error;
  if (move) {
    fs::rename(original, kept, error);
  } else {
    fs::create_hard_link(original, kept, error);
  }
  return !error || CopyWhole(original, kept);
}

// The digits of a folder name made by Begin; nullopt for any other name.
std::optional<std::uint64_t> JournalNumber(const fs::path& folder) {
  return DecimalNumber(folder.filename().string());
}

}  // namespace

TInstallJournal::TInstallJournal(fs::path folder, const fs::path& gameFolder)
    : folder_(std::move(folder)), game_(gameFolder) {}

TInstallJournal::~TInstallJournal() {
  if (out_) std::fflush(out_.get());
  if (pruner_.joinable()) pruner_.join();
}

std::unique_ptr<TInstallJournal> TInstallJournal::Begin(const fs::path& dataFolder,
                                                        const fs::path& gameFolder,
                                                        std::string& error) {
  const fs::path installs = dataFolder / "installs";
  std::error_code code;
  fs::create_directories(installs, code);
  // Numbered in order; a number another process took first is skipped.
  std::uint64_t next = 1;
  for (fs::directory_iterator it(installs, code), end; !code && it != end; it.increment(code)) {
    if (const auto number = JournalNumber(it->path())) next = std::max(next, *number + 1);
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
  std::unique_ptr<TInstallJournal> journal(new TInstallJournal(folder, gameFolder));
  journal->out_.reset(CreateOutputFile(folder / kJournalFile));
  const std::string head =
      std::string(kHeader) + "\nG\t" + journal::PathText(journal->game_.Canonical()) + "\n";
  if (!journal->out_ ||
      std::fwrite(head.data(), 1, head.size(), journal->out_.get()) != head.size() ||
      !SyncToDisk(journal->out_.get())) {
    error = "the journal cannot be written in " + folder.string();
    return nullptr;
  }
  // Renamed at once, so no search meets them again, and deleted on a thread of their own;
  // what a killed process left so renamed goes as well.
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(installs, code), end; !code && it != end; it.increment(code)) {
    if (it->path().extension() == kPrunedSuffix) doomed.push_back(it->path());
  }
  const std::vector<fs::path> journals = journal::JournalsOf(dataFolder, gameFolder);
  for (std::size_t i = 0; i + kKeptInstalls < journals.size(); ++i) {
    fs::path pruned = journals[i];
    pruned += kPrunedSuffix;
    fs::rename(journals[i], pruned, code);
    if (code) {
      fs::remove_all(journals[i], code);
    } else {
      doomed.push_back(std::move(pruned));
    }
  }
  if (!doomed.empty()) {
    const auto prune = [](const std::vector<fs::path>& folders) {
      std::error_code ignored;
      for (const fs::path& doomedFolder : folders) fs::remove_all(doomedFolder, ignored);
    };
    try {
      journal->pruner_ = std::thread(prune, doomed);
    } catch (const std::system_error&) {
      prune(doomed);  // no thread to be had: deleted here, as before
    }
  }
  return journal;
}

std::string TInstallJournal::NextBackup() { return std::to_string(nextBackup_++); }

void TInstallJournal::Append(char kind, const std::string& detail, const fs::path& path) {
  const bool change = kind == 'W' || kind == 'D' || kind == 'T' || kind == 'F';
  if (change) ++changes_;
  if (onRecord && change) {
    onRecord(kind == 'W'   ? (detail == "-" ? TJournalRecord::Created : TJournalRecord::Replaced)
             : kind == 'D' ? TJournalRecord::Deleted
             : kind == 'T' ? TJournalRecord::DeletedFolder
                           : TJournalRecord::MadeFolder,
             path);
  }
  const std::string line = journal::Line(kind, detail, path);
  std::fwrite(line.data(), 1, line.size(), out_.get());
  // A file's state after its write waits for the next line: a kill that loses it only spares
  // that file the check for later edits.
  if (kind == 'S') return;
  // A power cut must not keep a change whose line it lost.
  unsynced_ = true;
  // In a batch a write waits for the batch's sync, which writes its line out with the rest;
  // other changes follow their lines at once, so those leave the process now.
  if (kind == 'W' && deferred_ > 0) return;
  std::fflush(out_.get());
  if (change && deferred_ == 0) Sync();
}

void TInstallJournal::Sync() {
  if (unsynced_ && out_) SyncToDisk(out_.get());
  unsynced_ = false;
}

bool TInstallJournal::BeforeWrite(const fs::path& file) { return KeepOriginal(PlanWrite(file)); }

TInstallJournal::TPlannedWrite TInstallJournal::PlanWrite(const fs::path& file) {
  const fs::path normal = LexicalPath(file);
  if (!game_.ContainsLexical(normal)) return {};
  std::error_code error;
  const fs::file_type type = fs::symlink_status(file, error).type();
  // A write over a folder fails and changes nothing; keeping the folder would be of no use.
  if (type == fs::file_type::directory) return {};
  if (type == fs::file_type::not_found || error) {
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

std::string TInstallJournal::StateOf(const fs::path& file) { return journal::FileState(file); }

bool TInstallJournal::BeforeDelete(const fs::path& file) {
  // A real folder is not DELETE's to remove; nothing to delete needs no original.
  if (!game_.Contains(file) || !Exists(file) || IsRealFolder(file)) return true;
  const std::string backup = NextBackup();
  Append('D', backup, LexicalPath(file));
  return KeepAside(file, folder_ / kBackups / backup, true);
}

bool TInstallJournal::BeforeCreateFolder(const fs::path& folder) {
  if (game_.Contains(folder) && !Exists(folder)) Append('F', "-", LexicalPath(folder));
  return true;
}

void TInstallJournal::Written(const fs::path& file) { Written(file, journal::FileState(file)); }

void TInstallJournal::Written(const fs::path& file, const std::string& state) {
  if (const fs::path normal = LexicalPath(file); game_.ContainsLexical(normal)) {
    Append('S', state, normal);
  }
}

bool TInstallJournal::RemoveTree(const fs::path& folder) {
  if (!Exists(folder)) return false;
  const fs::path normal = LexicalPath(folder);
  const std::string backup = NextBackup();
  Append('T', backup, normal);
  const fs::path kept = folder_ / kBackups / backup;
  std::error_code error;
  fs::rename(folder, kept, error);
  if (!error) {
    Append('R', backup, normal);
    return true;
  }
  // Another volume: the whole copy first; the folder leaves its place only after its "R" line,
  // so that an undo tells the folder that never left from one made in its place since.
  if (!CopyWhole(folder, kept)) return false;
  Append('R', backup, normal);
  // Set aside beside itself in one step, so that a kill while it is deleted leaves no half of
  // it under its name, only a partial folder the next run sweeps.
  const fs::path aside = PartialFileBeside(folder);
  error.clear();
  fs::rename(folder, aside, error);
  std::error_code ignored;
  if (!error) {
    fs::remove_all(aside, ignored);
    return true;
  }
  fs::remove_all(folder, error);
  return !error;
}

void TInstallJournal::End(bool succeeded) {
  Append('E', succeeded ? "ok" : "failed", {});
  Sync();
}

std::optional<TFileLock> LockGameFolder(const fs::path& dataFolder, const fs::path& gameFolder,
                                        bool& busy) {
  busy = false;
  const fs::path installs = dataFolder / "installs";
  std::error_code error;
  fs::create_directories(installs, error);
  // One lock file per game folder, named by a digest of its resolved path as the system
  // compares names (FNV-1a: stable across runs and builds).
  std::uint64_t digest = 14695981039346656037ull;
  for (const auto c : SameFileKey(ResolvedPath(gameFolder))) {
    digest = (digest ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.lock", static_cast<unsigned long long>(digest));
  return TFileLock::TryTake(installs / name, busy);
}

}  // namespace ovix
