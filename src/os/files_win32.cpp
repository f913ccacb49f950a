#include "os/files.h"
#include "os/text.h"
#include "os/windows_api.h"

namespace ovix {

std::optional<std::filesystem::path> LocalPath(std::string_view windowsPath) {
  if (windowsPath.empty()) return std::nullopt;
  return std::filesystem::path(Widen(windowsPath));
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace ovix
