#include <cstdio>

#include "os/files.h"
#include "os/windows_path.h"

namespace ovix {

std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath) {
  return ResolveWindowsPath(windowsPath);
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace ovix
