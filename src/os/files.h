#pragma once
// The few file operations the portable code needs beyond std::filesystem.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// Where a Windows path lives on this system: itself on Windows; on posix the
// file the path resolves to through the Wine-style drive mapping.
std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath);

// Moves `from` over `to` in one step, replacing an existing file; false on failure.
bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

}  // namespace ovix
