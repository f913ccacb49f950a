#pragma once
// Where the game is installed: the directory that holds its client, worldoftanks.exe.
// Paths are Windows paths in UTF-8 on every platform.

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace ovix {

// Where the game is usually installed, relative to a drive root, in order of preference.
inline constexpr std::array<std::string_view, 9> kUsualGameFolders = {
    "World_of_Tanks",
    "World of Tanks",
    "Games\\World_of_Tanks",
    "Games\\World of Tanks",
    "Program Files (x86)\\World_of_Tanks",
    "Program Files (x86)\\World of Tanks",
    "Program Files\\World_of_Tanks",
    "Program Files\\World of Tanks",
    "World_of_Tanks_closed_Beta",
};

// Whether `directory` followed by "\worldoftanks.exe" names an existing file (links
// followed; names compare without case). The directory is used as given.
bool IsGameDirectory(std::string_view directory);

// The folder of a target path: up to its last "\" or ":", with a final "\" dropped unless a
// "\" or ":" precedes it (so C:\x.exe gives C:\). Empty when there is neither.
std::string DirectoryPart(std::string_view target);

// Whether a shortcut's target is one of the game's programs, by its file name.
bool IsGameProgram(std::string_view target);

// Looks for the game without asking anyone: the Start-menu shortcut on the current
// directory's drive, then the shortcuts on the desktop, then the usual folders on every
// ready drive. The first directory found is handed to `accept`, and the search ends. A
// failure in one of these sources, `accept` included, only ends that one. The directory
// accepted, or empty when none was.
std::string SearchGameDirectory(const std::function<void(const std::string&)>& accept = {});

}  // namespace ovix
