#pragma once
// Whether paths lie in a folder (the game's), however they reach it: by the name the folder was
// given, or by another name through links. A link inside the folder that leads to another disk
// still counts as inside: what the player keeps there is the game's.

#include <filesystem>
#include <unordered_map>

namespace ovix {

class TFolderScope {
 public:
  explicit TFolderScope(const std::filesystem::path& folder);

  // The folder with its links resolved.
  const std::filesystem::path& Canonical() const { return canonical_; }
  // Strictly below the folder.
  bool Contains(const std::filesystem::path& path) const;
  // The same for a path LexicalPath has made already, which a caller needs beside.
  bool ContainsLexical(const std::filesystem::path& normal) const;
  // The folder itself, or a folder holding it: deleting or replacing it takes the folder along.
  bool IsFolderOrAbove(const std::filesystem::path& path) const;

 private:
  // `directory` is the folder or lies below it.
  bool HoldsOrIs(const std::filesystem::path& directory) const;

  std::filesystem::path given_;  // absolute, by name
  std::filesystem::path canonical_;
  // Directories already judged: the members of an archive share a few.
  mutable std::unordered_map<std::filesystem::path::string_type, bool> judged_;
};

// Absolute and normal by name alone, without a trailing separator; links are not followed.
std::filesystem::path LexicalPath(const std::filesystem::path& path);
// Absolute, with links resolved as far as the path exists.
std::filesystem::path ResolvedPath(const std::filesystem::path& path);
// Whether `path` is `base` or lies below it, comparing names as the system does.
bool IsAtOrBelow(const std::filesystem::path& path, const std::filesystem::path& base);

}  // namespace ovix
