#include "script/folder_scope.h"

#include <system_error>

#include "script/unpack_files.h"

namespace ovix {

namespace fs = std::filesystem;

fs::path LexicalPath(const fs::path& path) {
  std::error_code error;
  fs::path normal = fs::absolute(path, error).lexically_normal();
  if (error) normal = path.lexically_normal();
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

fs::path ResolvedPath(const fs::path& path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(LexicalPath(path), error);
  return error ? LexicalPath(path) : LexicalPath(resolved);
}

namespace {

bool IsSeparator(fs::path::value_type c) { return c == '/' || c == fs::path::preferred_separator; }

// `path` begins with `base` by the very same characters, up to a separator: no need to split
// either into components. False says nothing.
bool StartsWithByName(const fs::path& path, const fs::path& base) {
  const fs::path::string_type& p = path.native();
  const fs::path::string_type& b = base.native();
  return !b.empty() && p.compare(0, b.size(), b) == 0 &&
         (p.size() == b.size() || IsSeparator(p[b.size()]) || IsSeparator(b.back()));
}

}  // namespace

bool IsAtOrBelow(const fs::path& path, const fs::path& base) {
  if (StartsWithByName(path, base)) return true;
  auto it = path.begin();
  for (const fs::path& component : base) {
    if (component.empty()) continue;  // a trailing separator
    while (it != path.end() && it->empty()) ++it;
    if (it == path.end() || SameFileKey(*it) != SameFileKey(component)) return false;
    ++it;
  }
  return true;
}

TFolderScope::TFolderScope(const fs::path& folder)
    : given_(LexicalPath(folder)), canonical_(ResolvedPath(folder)) {}

bool TFolderScope::HoldsOrIs(const fs::path& directory) const {
  if (IsAtOrBelow(directory, given_) || IsAtOrBelow(directory, canonical_)) return true;
  const auto [it, added] = judged_.try_emplace(directory.native(), false);
  if (added) it->second = IsAtOrBelow(ResolvedPath(directory), canonical_);
  return it->second;
}

bool TFolderScope::Contains(const fs::path& path) const {
  return ContainsLexical(LexicalPath(path));
}

bool TFolderScope::ContainsLexical(const fs::path& normal) const {
  if (!normal.has_relative_path()) return false;  // a root holds everything, lies in nothing
  // Most paths asked about lie below the folder by the name it was given: a name longer than
  // the folder's cannot be the folder or one above it.
  if (normal.native().size() > given_.native().size() + 1 && StartsWithByName(normal, given_)) {
    return true;
  }
  if (IsAtOrBelow(given_, normal) || IsAtOrBelow(canonical_, normal)) return false;
  return HoldsOrIs(normal.parent_path());
}

bool TFolderScope::IsFolderOrAbove(const fs::path& path) const {
  const fs::path normal = LexicalPath(path);
  return IsAtOrBelow(given_, normal) || IsAtOrBelow(canonical_, normal) ||
         IsAtOrBelow(canonical_, ResolvedPath(normal));
}

}  // namespace ovix
