#pragma once
// What the script's COPY, DELETE and DELETEDIR commands do to the file system. Paths are Windows
// paths. None of these raise a failure, so a script goes on past them; what was left undone is told
// in plain words, for a front end that reports it (the window shows nothing of it).

#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// Why a file action left something undone.
using TActionProblem = std::optional<std::string>;

// Copies source over destination when source is a file, through a file beside the
// destination, so that a copy cut short never leaves the destination cut off; a refused
// copy changes nothing.
TActionProblem CopyFileIfExists(std::string_view source, std::string_view destination);
// Deletes a file, or a link to a directory; never a directory itself. Nothing to delete
// is no problem.
TActionProblem RemoveFile(std::string_view path);
// Deletes a directory with everything below it, for good and without questions;
// true on success.
bool RemoveDirectoryTree(std::string_view directory);

}  // namespace ovix
