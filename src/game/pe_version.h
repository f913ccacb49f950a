#pragma once
// Reads the file version out of a Windows executable (PE32 or PE32+) without the Windows
// version API: DOS header, PE headers, section table, resource directory, the first version
// resource, its fixed-size root block. Executables come from the player's disk and may be
// damaged, so every offset and size is checked before it is used; a damaged or truncated file
// yields nullopt, never a crash and never a read outside the data. The resource directory is
// walked only the three levels deep that version resources live at.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace ovix {

// The four 16-bit words of a file version, most significant first: 1.2.3.4 is {1, 2, 3, 4}.
using FileVersion = std::array<std::uint16_t, 4>;

// Random access to the bytes being examined.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills all of `out` from `offset` on; false when that is not possible.
  virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

std::optional<FileVersion> ReadPeFileVersion(const ByteSource& source);
std::optional<FileVersion> ReadPeFileVersion(std::span<const std::uint8_t> image);

// Reads only the few hundred bytes the walk needs, never the whole file. nullopt as well
// when the file cannot be opened or read.
std::optional<FileVersion> ReadPeFileVersionFromFile(const std::filesystem::path& file);

}  // namespace ovix
