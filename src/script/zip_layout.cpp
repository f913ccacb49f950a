#include "script/zip_layout.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace ovix {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kLocator64Signature = 0x07064b50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kLocator64Size = 20;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

using TBytes = std::vector<unsigned char>;
using TPlaces = std::vector<TMemberPlace>;

// A little-endian field of `width` bytes at `at`; the caller has checked the bounds.
std::uint64_t Field(std::span<const unsigned char> bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// a + b, or the largest value when that overflows: an extent that long overlaps anything.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

std::optional<TBytes> ReadAt(const TArchiveReader& read, std::uint64_t archiveSize,
                             std::uint64_t offset, std::uint64_t size) {
  if (offset > archiveSize || size > archiveSize - offset) return std::nullopt;
  TBytes bytes(static_cast<std::size_t>(size));
  if (!read(offset, bytes)) return std::nullopt;
  return bytes;
}

struct TDirectory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct TExtent {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

// The directory an end record at `endOffset` describes; a zip64 locator right before the
// record replaces its fields by the zip64 record's.
std::optional<TDirectory> ReadDirectoryBounds(const TArchiveReader& read, std::uint64_t archiveSize,
                                              std::span<const unsigned char> end,
                                              std::uint64_t endOffset) {
  TDirectory directory{Field(end, 16, 4), Field(end, 12, 4)};
  if (endOffset >= kLocator64Size) {
    const auto locator = ReadAt(read, archiveSize, endOffset - kLocator64Size, kLocator64Size);
    if (locator && Field(*locator, 0, 4) == kLocator64Signature) {
      const std::uint64_t recordOffset = Field(*locator, 8, 8);
      const auto record = ReadAt(read, archiveSize, recordOffset, kEnd64Size);
      if (!record || Field(*record, 0, 4) != kEnd64Signature) return std::nullopt;
      directory = {Field(*record, 48, 8), Field(*record, 40, 8)};
    }
  }
  if (directory.offset > endOffset || directory.size > endOffset - directory.offset) {
    return std::nullopt;
  }
  return directory;
}

// The zip64 forms of the sizes and offset marked 0xFFFFFFFF in a central header, in the
// order the zip64 extra field stores them; false when a needed one is missing.
bool ApplyZip64(std::span<const unsigned char> extra, std::uint64_t& uncompressed,
                std::uint64_t& compressed, std::uint64_t& offset) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint64_t id = Field(extra, at, 2);
    const std::size_t length = static_cast<std::size_t>(Field(extra, at + 2, 2));
    if (at + 4 + length > extra.size()) return false;
    if (id == kZip64ExtraId) {
      std::size_t field = at + 4;
      for (std::uint64_t* value : {&uncompressed, &compressed, &offset}) {
        if (*value != kZip64Marker) continue;
        if (field + 8 > at + 4 + length) return false;
        *value = Field(extra, field, 8);
        field += 8;
      }
      return true;
    }
    at += 4 + length;
  }
  return uncompressed != kZip64Marker && compressed != kZip64Marker && offset != kZip64Marker;
}

struct TMembers {
  std::uint64_t entries = 0;
  std::vector<TExtent> extents;  // of the members whose local header is there, and the directory
  std::vector<TMemberPlace> places;
};

// Where each member's local header and data lie; nullopt when the directory is unreadable.
// The entries are counted as they come, not trusted from the end record: archives with more
// than 65535 entries and no zip64 record wrap that number, and libzip reads them all.
std::optional<TMembers> ReadMembers(const TArchiveReader& read, std::uint64_t archiveSize,
                                    const TDirectory& directory) {
  const auto bytes = ReadAt(read, archiveSize, directory.offset, directory.size);
  if (!bytes) return std::nullopt;
  TMembers members;
  for (std::size_t at = 0; at < bytes->size(); ++members.entries) {
    if (bytes->size() - at < kCentralHeaderSize ||
        Field(*bytes, at, 4) != kCentralHeaderSignature) {
      return std::nullopt;
    }
    std::uint64_t compressed = Field(*bytes, at + 20, 4);
    std::uint64_t uncompressed = Field(*bytes, at + 24, 4);
    std::uint64_t offset = Field(*bytes, at + 42, 4);
    const std::size_t nameLength = static_cast<std::size_t>(Field(*bytes, at + 28, 2));
    const std::size_t extraLength = static_cast<std::size_t>(Field(*bytes, at + 30, 2));
    const std::size_t commentLength = static_cast<std::size_t>(Field(*bytes, at + 32, 2));
    const std::size_t entrySize = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (bytes->size() - at < entrySize) return std::nullopt;
    const auto extra = std::span<const unsigned char>(*bytes).subspan(
        at + kCentralHeaderSize + nameLength, extraLength);
    if (!ApplyZip64(extra, uncompressed, compressed, offset)) return std::nullopt;
    TMemberPlace& place = members.places.emplace_back();
    const auto name = bytes->begin() + static_cast<std::ptrdiff_t>(at + kCentralHeaderSize);
    place.name.assign(name, name + static_cast<std::ptrdiff_t>(nameLength));
    place.flags = static_cast<std::uint16_t>(Field(*bytes, at + 8, 2));
    place.method = static_cast<std::uint16_t>(Field(*bytes, at + 10, 2));
    place.crc = static_cast<std::uint32_t>(Field(*bytes, at + 16, 4));
    place.compressedSize = compressed;
    place.size = uncompressed;
    at += entrySize;

    const auto local = ReadAt(read, archiveSize, offset, kLocalHeaderSize);
    if (!local || Field(*local, 0, 4) != kLocalHeaderSignature) continue;
    const std::uint64_t header = kLocalHeaderSize + Field(*local, 26, 2) + Field(*local, 28, 2);
    place.dataOffset = SaturatingAdd(offset, header);
    members.extents.push_back({offset, SaturatingAdd(offset, SaturatingAdd(header, compressed))});
  }
  members.extents.push_back({directory.offset, directory.offset + directory.size});
  return members;
}

bool Overlap(std::vector<TExtent> extents) {
  std::sort(extents.begin(), extents.end(),
            [](const TExtent& a, const TExtent& b) { return a.begin < b.begin; });
  std::uint64_t reached = 0;
  for (const TExtent& extent : extents) {
    if (extent.begin == extent.end) continue;  // the central directory of an empty archive
    if (extent.begin < reached) return true;
    reached = std::max(reached, extent.end);
  }
  return false;
}

}  // namespace

TMemberLayout CheckMemberLayout(std::uint64_t archiveSize, std::uint64_t entryCount,
                                const TArchiveReader& read, std::vector<TMemberPlace>* places) {
  if (places) places->clear();
  if (archiveSize < kEndSize) return TMemberLayout::Unreadable;
  const std::uint64_t tailSize = std::min<std::uint64_t>(archiveSize, kEndSize + kMaxCommentSize);
  const std::uint64_t tailOffset = archiveSize - tailSize;
  const auto tail = ReadAt(read, archiveSize, tailOffset, tailSize);
  if (!tail) return TMemberLayout::Unreadable;

  int directories = 0;
  for (std::size_t at = tail->size() - kEndSize + 1; at-- > 0;) {
    if (Field(*tail, at, 4) != kEndSignature) continue;
    const auto end = std::span<const unsigned char>(*tail).subspan(at, kEndSize);
    const auto directory = ReadDirectoryBounds(read, archiveSize, end, tailOffset + at);
    if (!directory) continue;
    const auto members = ReadMembers(read, archiveSize, *directory);
    if (!members || members->entries != entryCount) continue;
    if (Overlap(members->extents)) {
      if (places) places->clear();
      return TMemberLayout::Overlapping;
    }
    // With a second directory it is not known which one libzip reads.
    if (places) *places = ++directories == 1 ? std::move(members->places) : TPlaces{};
  }
  return directories > 0 ? TMemberLayout::Separate : TMemberLayout::Unreadable;
}

std::optional<std::uint64_t> LeadingBytes(std::uint64_t archiveSize, const TArchiveReader& read) {
  if (archiveSize < kEndSize) return std::nullopt;
  const std::uint64_t tailSize = std::min<std::uint64_t>(archiveSize, kEndSize + kMaxCommentSize);
  const std::uint64_t tailOffset = archiveSize - tailSize;
  const auto tail = ReadAt(read, archiveSize, tailOffset, tailSize);
  if (!tail) return std::nullopt;
  for (std::size_t at = tail->size() - kEndSize + 1; at-- > 0;) {
    if (Field(*tail, at, 4) != kEndSignature) continue;
    const std::uint64_t endOffset = tailOffset + at;
    std::uint64_t directoryEnd = endOffset;
    std::uint64_t size = Field(*tail, at + 12, 4);
    std::uint64_t offset = Field(*tail, at + 16, 4);
    // A zip64 record sits right before its locator, wherever the locator says it is.
    if (endOffset >= kLocator64Size + kEnd64Size) {
      const std::uint64_t recordOffset = endOffset - kLocator64Size - kEnd64Size;
      const auto locator = ReadAt(read, archiveSize, endOffset - kLocator64Size, kLocator64Size);
      const auto record = ReadAt(read, archiveSize, recordOffset, kEnd64Size);
      if (locator && record && Field(*locator, 0, 4) == kLocator64Signature &&
          Field(*record, 0, 4) == kEnd64Signature) {
        directoryEnd = recordOffset;
        size = Field(*record, 40, 8);
        offset = Field(*record, 48, 8);
      }
    }
    if (size == 0 || size > directoryEnd || directoryEnd - size <= offset) continue;
    const std::uint64_t shift = directoryEnd - size - offset;
    const auto central = ReadAt(read, archiveSize, shift + offset, kCentralHeaderSize);
    if (!central || Field(*central, 0, 4) != kCentralHeaderSignature) continue;
    const std::uint64_t firstLocal = Field(*central, 42, 4);
    const auto local = ReadAt(read, archiveSize, SaturatingAdd(shift, firstLocal), 4);
    if (firstLocal != kZip64Marker && (!local || Field(*local, 0, 4) != kLocalHeaderSignature)) {
      continue;
    }
    return shift;
  }
  return std::nullopt;
}

}  // namespace ovix
