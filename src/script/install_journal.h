#pragma once
// What an install changed in a game folder, written down before each change, with the
// originals kept aside, so that the folder can be put back as it was: after a failed
// install, on the player's request, or after the program was killed halfway.
//
// One folder per install in the user's data folder, beside the game (never inside it):
// a journal file, one line per change, and the originals in files/. An original is kept by
// a hard link, or by moving it when the change deletes it, where the data folder is on the
// game's volume; by a copy where it is not.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

// How many installs of one game folder keep their journal; older ones are removed.
inline constexpr int kKeptInstalls = 3;

class TInstallJournal {
 public:
  // Starts the journal of a new install into `gameFolder`, a folder of this system, in
  // `dataFolder`/installs. Removes the journals of the same game folder beyond the newest
  // kKeptInstalls, this one counted. nullopt, with `error` set, when it cannot be written.
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
  // Deletes a folder and what it holds, as DELETEDIR does, by moving it aside (a copy then
  // the deletion where it cannot be moved). False when there was none or it could not be
  // deleted whole. Only for folders inside the game folder.
  bool RemoveTree(const std::filesystem::path& folder);
  // Whether a path lies inside the game folder.
  bool Inside(const std::filesystem::path& path) const;
  // The install ran to its end, succeeded or not.
  void End(bool succeeded);

  const std::filesystem::path& Folder() const { return folder_; }
  // Told of each change as it is recorded, in words ("replaced", "created", "deleted",
  // "deleted folder", "made folder"), for the install log.
  std::function<void(std::string_view change, const std::filesystem::path& path)> onRecord;
  // Whether anything in the game folder was recorded.
  bool Changed() const { return changes_ > 0; }

 private:
  TInstallJournal(std::filesystem::path folder, std::filesystem::path gameFolder);
  bool InsideNormal(const std::filesystem::path& normal) const;
  // The name of the next original kept aside.
  std::string NextBackup();
  void Append(char kind, const std::string& detail, const std::filesystem::path& path);

  std::filesystem::path folder_;
  std::filesystem::path gameFolder_;
  std::ofstream out_;
  int nextBackup_ = 0;
  int changes_ = 0;
};

enum class TUndoResult {
  Undone,         // the folder is back as it was before the install
  NothingToUndo,  // no journal of this game folder is left
  Refused,        // files the install wrote were changed since; nothing was touched
  Incomplete,     // some changes could not be put back; run again to retry them
};

struct TUndoReport {
  TUndoResult result = TUndoResult::NothingToUndo;
  std::filesystem::path journal;               // the install's journal folder
  std::vector<std::filesystem::path> changed;  // Refused: changed since the install
  std::vector<std::filesystem::path> failed;   // Incomplete: not put back
};

// Puts `gameFolder` back as it was before its newest install that has a journal, and
// removes that journal: restored originals, new files and folders removed, deleted ones
// back. Refuses when a file the install wrote was changed since, unless `force`. Finishes
// an undo that was cut off.
TUndoReport UndoLastInstall(const std::filesystem::path& dataFolder,
                            const std::filesystem::path& gameFolder, bool force);

// Whether the newest journal of `gameFolder` belongs to an install or an undo that never
// reached its end (the program was killed): then UndoLastInstall should finish the job.
bool HasUnfinishedJournal(const std::filesystem::path& dataFolder,
                          const std::filesystem::path& gameFolder);

}  // namespace ovix
