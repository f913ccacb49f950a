#pragma once
// The program names files by Windows paths everywhere. On POSIX systems they are resolved the
// way Wine resolves them, so a game installed under Wine is found where a player expects it:
//
// - a drive letter maps through the dosdevices folder ($WINEPREFIX/dosdevices, by default
//   ~/.wine/dosdevices), whose entries "c:", "d:", ... link to the drives' roots;
// - "\" separates components, and so does "/"; empty and "." components are dropped and ".."
//   removes the component before it (never above the drive root), before any disk access;
// - a component that does not exist as written matches an entry that differs only in the
//   case of ASCII letters; of several such entries the one whose name sorts first bytewise;
// - a character a Linux name may hold but a Windows one may not (" * : < > ? | \ and control
//   characters) is written, as Wine writes it, as U+F000 plus the character.
//
// Only drive-absolute paths are understood ("C:\dir\file", "c:/dir", "C:" for the root; a
// drive letter without a separator, as in "C:file", also starts at the root). There is no
// current directory or current drive. These functions exist in the POSIX build only.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

// The prefix Windows paths resolve through, from now on for the whole process, instead of the
// environment's: one a found game client runs in. A prefix without a dosdevices folder (Wine
// makes it when it first starts one) gets the drives Wine would give it: C: its drive_c, Z: the
// file system's root. An empty path is no prefix at all: Z: alone, the root.
void UseWinePrefix(const std::filesystem::path& prefix);
// Back to the environment's prefix.
void UseEnvironmentWinePrefix();
// The prefix given to UseWinePrefix; nullopt while the environment's is in force.
std::optional<std::filesystem::path> WinePrefixInUse();

// The prefix in force: the one in use, else WINEPREFIX when set and not empty, else ~/.wine.
// Empty for no prefix.
std::filesystem::path WinePrefixFolder();

// The prefix's dosdevices folder (for the environment's: $WINEPREFIX/dosdevices when WINEPREFIX
// is set and not empty, else ~/.wine/dosdevices). The folder need not exist.
std::filesystem::path DosDevicesFolder();

// The user's home folder: HOME, else the password database's entry; empty when neither says.
std::string HomeFolder();

// The drive letters, upper case, that have an entry in the dosdevices folder, in letter
// order. An entry counts even when its target is missing.
std::vector<char> DriveLetters();

// The canonical root of a drive (upper or lower case letter): nullopt when the drive has no
// entry or its target does not exist.
std::optional<std::filesystem::path> DriveRoot(char letter);

// The POSIX path a Windows path names. Existing components are followed with the case rule
// above; from the first component that exists in no case on, the rest is appended as written,
// so a file about to be created gets the path it will have. nullopt for a path that is not
// drive-absolute (relative, rooted without a drive, UNC), holds characters Windows forbids in
// names (< > " | ? * : and control characters), or names a drive without a usable root.
std::optional<std::filesystem::path> ResolveWindowsPath(std::string_view windowsPath);

// Tells the resolver that this program itself has just made or replaced the file at `path` (a
// path of this system), with no other change to its folder: the folder's names, when they are
// kept, take it without being read again.
void NoteEntryMade(const std::filesystem::path& path);

// The Windows form ("C:\dir\file", upper-case drive, "\" separators) of a POSIX path, made
// absolute and canonical as far as it exists, through the drive whose root is the longest
// prefix of it (the first such letter on a tie). Empty when no drive maps the path.
std::string ToWindowsPath(const std::filesystem::path& posixPath);

}  // namespace ovix
