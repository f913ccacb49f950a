#pragma once
// The desktop folder and shell link files, as the game discovery reads them.
// Paths are Windows paths in UTF-8 on every platform.

#include <string>
#include <string_view>

namespace ovix {

// The current user's own desktop folder (not the one shared by all users); empty when
// the system cannot give it.
std::string GetDesktopDirectory();

// The path of a shell link's target. ".lnk" is appended to `path` unless its extension
// (from the last "." after the last "\" or ":") is ".lnk" in any case. Empty when the
// link cannot be read or its target is not a file-system path. Throws only when the
// system cannot provide a shell-link reader at all.
std::string ResolveShortcut(std::string_view path);

// The path with ".lnk" appended unless its extension already is ".lnk" in any case.
std::string ShortcutFileName(std::string_view path);

}  // namespace ovix
