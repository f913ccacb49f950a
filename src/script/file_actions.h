#pragma once
// What the script's COPY, DELETE and DELETEDIR commands and its existence tests
// do to the file system. Paths are Windows paths; none of these report failure.

#include <string_view>

namespace ovix {

// An existing file that is not a directory (links followed).
bool FileExists(std::string_view path);
// An existing directory (links followed).
bool DirectoryExists(std::string_view path);
// Copies source over destination when source is a file; a refused copy changes nothing.
void CopyFileIfExists(std::string_view source, std::string_view destination);
// Deletes a file, or a link to a directory; never a directory itself.
void RemoveFile(std::string_view path);
// Deletes a directory with everything below it, for good and without questions;
// true on success.
bool DeleteDirectoryTree(std::string_view directory);

}  // namespace ovix
