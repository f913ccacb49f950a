#pragma once
// A check of where an archive's members lie, for what libzip does not look at:
// members whose data share bytes with another member or with the central
// directory (a small archive that extracts to far more than it holds).

#include <cstdint>
#include <functional>
#include <span>

namespace ovix {

// Fills `into` from the archive at `offset`; false when those bytes cannot be read.
using TArchiveReader = std::function<bool(std::uint64_t offset, std::span<unsigned char> into)>;

enum class TMemberLayout {
  kSeparate,     // every member's data lies apart from the others and the directory
  kOverlapping,  // some member shares bytes with another or with the central directory
  kUnreadable,   // no central directory with `entryCount` entries could be read
};

// Reads the central directory (also in its zip64 form) the way libzip finds it and
// each member's local header. Every end-of-directory record in the archive's tail
// that describes `entryCount` readable entries is checked, so a decoy record in a
// comment cannot hide the one that libzip uses. Members whose local header cannot be
// read are left out: libzip cannot extract them either.
TMemberLayout CheckMemberLayout(std::uint64_t archiveSize, std::uint64_t entryCount,
                                const TArchiveReader& read);

}  // namespace ovix
