#pragma once
// What an install changed in a game folder, written down before each change, with the
// originals kept aside, so that the folder can be put back as it was: after a failed
// install, on the player's request, or after the program was killed halfway.
//
// One folder per install in the user's data folder, beside the game (never inside it):
// a journal file, one line per change, and the originals in files/. An original is kept by
// a hard link, or by moving it when the change deletes it, where the data folder is on the
// game's volume; by a copy where it is not, made under a name of its own and renamed once
// whole, so that an undo only ever puts back a whole original.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "os/file_lock.h"
#include "script/folder_scope.h"

namespace ovix {

// How many installs of one game folder keep their journal; older ones are removed.
inline constexpr int kKeptInstalls = 3;

// What a journal records of one change in the game folder.
enum class TJournalRecord { Replaced, Created, Deleted, DeletedFolder, MadeFolder };

class TInstallJournal {
 public:
  // Starts the journal of a new install into `gameFolder`, a folder of this system, in
  // `dataFolder`/installs. Removes the journals of the same game folder beyond the newest
  // kKeptInstalls, this one counted. nullptr, with `error` set, when it cannot be written.
  static std::unique_ptr<TInstallJournal> Begin(const std::filesystem::path& dataFolder,
                                                const std::filesystem::path& gameFolder,
                                                std::string& error);
  ~TInstallJournal();
  TInstallJournal(const TInstallJournal&) = delete;
  TInstallJournal& operator=(const TInstallJournal&) = delete;

  // Each before the change it names, for paths inside the game folder (others are not the
  // game's, and are let through unrecorded). False when the change must not be made: the
  // original could not be kept.
  bool BeforeWrite(const std::filesystem::path& file);
  bool BeforeDelete(const std::filesystem::path& file);
  bool BeforeCreateFolder(const std::filesystem::path& folder);
  // After a file was put in place: its size and time, so that undo can tell a later change.
  void Written(const std::filesystem::path& file);

  // BeforeWrite in two steps, for writes made on other threads: the change is recorded
  // here, and the original, where there is one, kept by KeepOriginal on the writing thread
  // before it writes. The state Written records may be taken there too, by StateOf.
  struct TPlannedWrite {
    bool recorded = false;           // inside the game folder: Written is wanted after
    std::filesystem::path original;  // empty: nothing to keep
    std::filesystem::path kept;
  };
  TPlannedWrite PlanWrite(const std::filesystem::path& file);
  // False when the original could not be kept: the write must not be made.
  static bool KeepOriginal(const TPlannedWrite& plan);
  static std::string StateOf(const std::filesystem::path& file);
  void Written(const std::filesystem::path& file, const std::string& state);
  // Deletes a folder and what it holds, as DELETEDIR does, by moving it aside (a whole copy,
  // then the folder set aside beside itself and deleted, where it cannot be moved). False when
  // there was none or it could not be deleted whole. Only for folders inside the game folder.
  bool RemoveTree(const std::filesystem::path& folder);
  // Whether a path lies inside the game folder, also through links to it.
  bool Inside(const std::filesystem::path& path) const { return game_.Contains(path); }
  // The install ran to its end, succeeded or not.
  void End(bool succeeded);

  // A change's line reaches the disk before the change. While one of these lives, lines are
  // not synced one by one; the caller calls Sync before it makes the changes they name (an
  // UNPACK, whose members are written on other threads, syncs once a batch).
  class TDeferredSync {
   public:
    explicit TDeferredSync(TInstallJournal& journal) : journal_(journal) { ++journal_.deferred_; }
    ~TDeferredSync() {
      --journal_.deferred_;
      journal_.Sync();
    }
    TDeferredSync(const TDeferredSync&) = delete;
    TDeferredSync& operator=(const TDeferredSync&) = delete;

   private:
    TInstallJournal& journal_;
  };
  void Sync();

  const std::filesystem::path& Folder() const { return folder_; }
  // Told of each change as it is recorded, for the install log.
  std::function<void(TJournalRecord change, const std::filesystem::path& path)> onRecord;
  // Whether anything in the game folder was recorded.
  bool Changed() const { return changes_ > 0; }

 private:
  TInstallJournal(std::filesystem::path folder, const std::filesystem::path& gameFolder);
  // The name of the next original kept aside.
  std::string NextBackup();
  void Append(char kind, const std::string& detail, const std::filesystem::path& path);

  struct TClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::filesystem::path folder_;
  TFolderScope game_;
  std::unique_ptr<std::FILE, TClose> out_;
  // Removes the journals beyond the kept ones while the install goes on: thousands of kept
  // originals take longer to delete than an UNPACK takes to write them.
  std::thread pruner_;
  int nextBackup_ = 0;
  int changes_ = 0;
  int deferred_ = 0;
  bool unsynced_ = false;
};

enum class TUndoResult {
  Undone,         // the folder is back as it was before the install
  NothingToUndo,  // no journal of this game folder is left
  Refused,        // files the install wrote were changed since; nothing was touched
  Incomplete,     // some changes could not be put back; run again to retry them
  Damaged,        // the journal cannot be believed; nothing was touched, it is set aside
};

struct TUndoFailure {
  std::filesystem::path path;
  std::string reason;
};

struct TUndoReport {
  TUndoResult result = TUndoResult::NothingToUndo;
  std::filesystem::path journal;               // the install's journal folder
  std::vector<std::filesystem::path> changed;  // Refused: changed since the install
  std::vector<TUndoFailure> failed;            // Incomplete: not put back, and why
  std::vector<std::string> damage;             // Damaged: why, and where it is set aside
  std::filesystem::path keptAside;             // with force: where what changed since went
};

// Puts `gameFolder` back as it was before its newest install that has a journal, and
// removes that journal: restored originals, new files and folders removed, deleted ones
// back. Refuses when a file the install wrote was changed since, unless `force`, which keeps
// such files aside in `dataFolder`/kept. Never replaces or removes what was made after the
// install, and never writes outside the game folder. Finishes an undo that was cut off; one that
// cannot do every step keeps the journal and the originals.
TUndoReport UndoLastInstall(const std::filesystem::path& dataFolder,
                            const std::filesystem::path& gameFolder, bool force);

// Whether the newest journal of `gameFolder` belongs to an install or an undo that never
// reached its end (the program was killed): then UndoLastInstall should finish the job.
bool HasUnfinishedJournal(const std::filesystem::path& dataFolder,
                          const std::filesystem::path& gameFolder);

// Sets aside each journal of `gameFolder` that cannot be believed, so that no undo acts on it;
// for each, its new place and why, for the player to be told.
struct TSetAsideJournal {
  std::filesystem::path folder;
  std::vector<std::string> damage;
};
std::vector<TSetAsideJournal> SetAsideDamagedJournals(const std::filesystem::path& dataFolder,
                                                      const std::filesystem::path& gameFolder);

// One install or undo of a game folder at a time, among all processes: the hold on the game
// folder's lock in `dataFolder`/installs. nullopt when another holds it (`busy` set) or it
// cannot be made.
std::optional<TFileLock> LockGameFolder(const std::filesystem::path& dataFolder,
                                        const std::filesystem::path& gameFolder, bool& busy);

}  // namespace ovix
