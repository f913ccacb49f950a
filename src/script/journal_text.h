#pragma once
// The journal file of one install, as lines: written by TInstallJournal, read back, checked
// and believed only when sound, by the undo.
//
// After a header and the game folder ("G"), one line per change before it is made: "W" a write
// (the kept original's number, or "-" for a new file), "D" a file deleted, "T" a folder
// deleted, "F" a folder made; "S" a written file's size and time after its write; "R" a deleted
// folder left its place; "E" the install's end. An undo adds "P" as it begins to put an entry
// back and "U" once it has. Fields are separated by tabs.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ovix::journal {

inline constexpr std::string_view kHeader = "ovix-journal 1";
inline constexpr std::string_view kJournalFile = "journal";
inline constexpr std::string_view kBackups = "files";

// A path as a field: escaped, since a path may hold any character but NUL.
std::string PathText(const std::filesystem::path& path);
// A line, with its end.
std::string Line(char kind, std::string_view detail, const std::filesystem::path& path);

struct TEntry {
  char kind = 0;
  std::string detail;
  std::filesystem::path path;
  // A write whose "S" line followed: it was made, and left the file in `state`.
  bool completed = false;
  std::string state;
  // A deleted folder whose "R" line followed.
  bool leftPlace = false;
};

struct TJournalText {
  std::filesystem::path gameFolder;
  std::vector<TEntry> entries;  // every line but G, E, P and U, in order
  bool ended = false;
  std::set<std::size_t> begun;   // entries an undo began to put back
  std::set<std::size_t> undone;  // entries an undo has put back
  // Why the journal cannot be believed, a line each; empty when it is sound.
  std::vector<std::string> damage;
};

// The journal in `folder`; nullopt when it names no game folder (no file, no header, no "G").
std::optional<TJournalText> ReadJournal(const std::filesystem::path& folder);

// The journal folders in `dataFolder`/installs of the game folder, oldest first: those named by
// their number alone, whose journal names that game folder.
std::vector<std::filesystem::path> JournalsOf(const std::filesystem::path& dataFolder,
                                              const std::filesystem::path& gameFolder);

// Whether anything stands at `path`, a link itself counted, not followed.
bool Exists(const std::filesystem::path& path);
// A folder, not a link to one.
bool IsRealFolder(const std::filesystem::path& path);

// A file's size and modification time, or "-" when there is none.
std::string FileState(const std::filesystem::path& file);

}  // namespace ovix::journal
