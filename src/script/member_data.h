#pragma once
// A member's stored or deflated data, read straight from the archive at its place rather
// than through libzip's streams: a member that fits the buffers in one read and one call of
// a fast inflater, a larger one streamed in large reads. Safe for several threads, each with
// a reader of its own.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "script/zip_layout.h"

namespace ovix {

enum class TMemberWrite {
  Written,
  Damaged,      // the data does not inflate to its size, or fails its checksum
  WriteFailed,  // the output could not take it
};

class TMemberDataReader {
 public:
  // `read` must be safe to call from several threads; `wholeLimit` bounds the bytes one
  // member may take in memory, compressed and inflated together.
  TMemberDataReader(const TArchiveReader& read, std::uint64_t archiveSize, std::size_t wholeLimit);
  ~TMemberDataReader();
  TMemberDataReader(const TMemberDataReader&) = delete;
  TMemberDataReader& operator=(const TMemberDataReader&) = delete;

  // Whether this reader can take the member: stored or deflated, not encrypted, read.
  static bool Takes(const TMemberPlace& place);
  // Writes the member's data to `out`; data beyond its declared size stops it at once.
  TMemberWrite Write(const TMemberPlace& place, std::FILE* out);

 private:
  TMemberWrite WriteWhole(const TMemberPlace& place, std::FILE* out);
  TMemberWrite Stream(const TMemberPlace& place, std::FILE* out);
  // Room for a whole member's data read and inflated, or for a streamed member's buffers.
  std::span<unsigned char> Buffer();

  struct TInflater;
  const TArchiveReader& read_;
  const std::uint64_t archiveSize_;
  const std::size_t wholeLimit_;
  std::unique_ptr<TInflater> inflater_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t bufferSize_ = 0;
};

}  // namespace ovix
