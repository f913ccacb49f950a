#pragma once
// The few file operations the portable code needs beyond std::filesystem.

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

// A name beside `target` that no other caller in any process is handed, ending in
// ".incomplete" and naming this process: data is written there and moved over the target
// only when complete, so a failure never touches the target and the move is atomic.
std::filesystem::path PartialFileBeside(const std::filesystem::path& target);

// Removes from `directory` the partial files of processes that have ended, as a process
// killed while writing leaves them; those of running processes (this one, or a second
// instance downloading into the same folder) are kept. Entries that merely resemble such
// names are kept.
void RemoveStalePartialFiles(const std::filesystem::path& directory);

// This program's folder among the user's data, which need not exist yet: OVIX_DATA_DIR when
// set (a portable install, or a test run), else on Windows %LOCALAPPDATA%\Ovix Updater,
// elsewhere $XDG_DATA_HOME/ovix-updater (by default ~/.local/share/ovix-updater). nullopt
// when the system names no such place.
std::optional<std::filesystem::path> UserDataFolder();

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

}  // namespace ovix
