#pragma once
// The few file operations the portable code needs beyond std::filesystem.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// An existing file that is not a directory (links followed).
bool FileExists(std::string_view path);
// An existing directory (links followed).
bool DirectoryExists(std::string_view path);

// Where a Windows path lives on this system: itself on Windows; on posix the
// file the path resolves to through the Wine-style drive mapping.
std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath);

// Moves `from` over `to` in one step, replacing an existing file; false on failure.
bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// The same where `from` may lie on another volume: there a copy is made beside `to` and
// moved over it, and `from` removed. False on failure, with `to` as it was.
bool MoveOrCopyReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies a file, or a folder with everything in it (links as links), keeping modification
// times, so that a copy reads as the same state as its original. With `sync`, a file's copy is
// on the disk when this returns. False on failure; what was copied by then stays.
bool CopyKeepingTimes(const std::filesystem::path& from, const std::filesystem::path& to,
                      bool sync = false);

// Writes what `file` holds in buffers through to the disk; false on failure.
bool SyncToDisk(std::FILE* file);
// The same for the file at `path`, written and closed before.
bool SyncFileAt(const std::filesystem::path& path);

// A name beside `target` that no other caller in any process is handed, ending in
// ".incomplete" and naming this process: data is written there and moved over the target
// only when complete, so a failure never touches the target and the move is atomic.
std::filesystem::path PartialFileBeside(const std::filesystem::path& target);

// Removes from `directory` the partial files of processes that have ended, as a process
// killed while writing leaves them, and partial folders (a folder copied or set aside to be
// deleted) with all they hold; those of running processes (this one, or a second instance
// downloading into the same folder) are kept. Entries that merely resemble such names are
// kept.
void RemoveStalePartialFiles(const std::filesystem::path& directory);

// The same once per folder and process, for writes that come one by one into a folder that may
// hold thousands of files: what a killed run left there goes at the first of them.
void RemoveStalePartialFilesOnce(const std::filesystem::path& directory);

// Tells the resolution of Windows paths that this program has just made or replaced `file`,
// so that a folder it keeps the names of is not read again for the next file (posix; nothing
// to tell on Windows, which matches names itself).
void NoteFileMade(const std::filesystem::path& file);

// This program's folder among the user's data, which need not exist yet: OVIX_DATA_DIR when
// set (a portable install, or a test run), else on Windows %LOCALAPPDATA%\Ovix Updater,
// elsewhere $XDG_DATA_HOME/ovix-updater (by default ~/.local/share/ovix-updater). nullopt
// when the system names no such place.
std::optional<std::filesystem::path> UserDataFolder();

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

}  // namespace ovix
