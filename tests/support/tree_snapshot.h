#pragma once
// Everything below a folder, for checking that nothing in it changed.

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "os/files.h"

namespace ovix::test {

// Each entry by its path relative to `root`: "d" for a folder, "l" and the target for a
// link, "f" and the bytes for anything else. The subtrees named in `skipped` are left out.
inline std::map<std::string, std::string> SnapshotTree(
    const std::filesystem::path& root, const std::set<std::filesystem::path>& skipped = {}) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (skipped.contains(it->path())) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string name = it->path().lexically_relative(root).generic_string();
    if (it->is_symlink()) {
      entries[name] = "l" + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      entries[name] = "d";
    } else {
      entries[name] = "f" + ReadWholeFile(it->path()).value_or("<unreadable>");
    }
  }
  return entries;
}

}  // namespace ovix::test
