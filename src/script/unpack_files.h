#pragma once
// What unpacking asks of the system: files opened by their local paths, and member
// names matched to the entries already on disk the way the system matches names.

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

namespace ovix {

// A libzip source that reads the archive file from `start` on; nullptr with `error` set on
// failure.
zip_source_t* OpenArchiveSource(const std::filesystem::path& file, std::uint64_t start,
                                zip_error_t* error);

// The archive file opened for reads at any offset, from several threads at once.
class TArchiveFile {
 public:
  // nullptr when it cannot be opened.
  static std::unique_ptr<TArchiveFile> Open(const std::filesystem::path& file);
  ~TArchiveFile();
  TArchiveFile(const TArchiveFile&) = delete;
  TArchiveFile& operator=(const TArchiveFile&) = delete;

  // Fills `into` from `offset` on; false when those bytes cannot be read.
  bool ReadAt(std::uint64_t offset, std::span<unsigned char> into) const;

 private:
  explicit TArchiveFile(std::intptr_t handle) : handle_(handle) {}
  const std::intptr_t handle_;
};

// What names the same file as `path` names, compared as the system compares names.
std::filesystem::path::string_type SameFileKey(const std::filesystem::path& path);

// Creates or truncates a file for binary writing; nullptr on failure.
std::FILE* CreateOutputFile(const std::filesystem::path& file);

// Local paths of the entries below an unpack destination. On posix a name that does
// not exist as written matches an entry differing only in ASCII case, as Windows paths
// resolve there; each directory is listed once and then remembered, since a lookup per
// member would scan its directory again for every new file.
class TMemberPaths {
 public:
  TMemberPaths();
  ~TMemberPaths();
  TMemberPaths(const TMemberPaths&) = delete;
  TMemberPaths& operator=(const TMemberPaths&) = delete;

  // The path of `name` inside `parent`, a local directory: the existing entry it matches,
  // else the name as written.
  std::filesystem::path Child(const std::filesystem::path& parent, std::string_view name);
  // Tells that `path`, which Child gave, exists now.
  void Added(const std::filesystem::path& path);

 private:
  struct TListings;
  std::unique_ptr<TListings> listings_;
};

}  // namespace ovix
