#pragma once
// A check of where an archive's members lie, for what libzip does not look at:
// members whose data share bytes with another member or with the central
// directory (a small archive that extracts to far more than it holds).

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ovix {

// Fills `into` from the archive at `offset`; false when those bytes cannot be read.
using TArchiveReader = std::function<bool(std::uint64_t offset, std::span<unsigned char> into)>;

enum class TMemberLayout {
  Separate,     // every member's data lies apart from the others and the directory
  Overlapping,  // some member shares bytes with another or with the central directory
  Unreadable,   // no central directory with `entryCount` entries could be read
};

// Where one member's data lies, and what the central directory says of it.
struct TMemberPlace {
  std::string name;  // as stored
  std::uint64_t dataOffset = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;  // the general purpose bits
};

// Reads the central directory (also in its zip64 form) the way libzip finds it and
// each member's local header. Every end-of-directory record in the archive's tail
// that describes `entryCount` readable entries is checked, so a decoy record in a
// comment cannot hide the one that libzip uses. Members whose local header cannot be
// read are left out: libzip cannot extract them either. With `places`, where the layout is
// separate and only one directory was found, each entry's place in directory order (a
// member without a readable local header has none: dataOffset 0); else `places` is empty.
TMemberLayout CheckMemberLayout(std::uint64_t archiveSize, std::uint64_t entryCount,
                                const TArchiveReader& read,
                                std::vector<TMemberPlace>* places = nullptr);

// The bytes before the archive proper that a self-extracting program or a stub put there
// without moving the offsets after them: how far the central directory lies past where the
// end record puts it, when a central header and the first member's local header are found
// there. nullopt when no end record in the tail says so.
std::optional<std::uint64_t> LeadingBytes(std::uint64_t archiveSize, const TArchiveReader& read);

}  // namespace ovix
