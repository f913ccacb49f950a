#include "game/link_layout.h"

#include <cstdint>
#include <system_error>

#include "os/files.h"

namespace ovix {
namespace {

constexpr std::size_t kHeaderSize = 0x4C;
constexpr std::string_view kShellLinkClass(
    "\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

// Link flags.
constexpr std::uint32_t kHasItemList = 0x01, kHasLinkInfo = 0x02, kIsUnicode = 0x80;
constexpr std::uint32_t kStringFlags[] = {0x04, 0x08, 0x10, 0x20, 0x40};

// LinkInfo flags, and the network block's.
constexpr std::uint32_t kHasVolumeAndLocalPath = 0x01, kHasNetworkLink = 0x02;
constexpr std::uint32_t kHasDeviceName = 0x01;

// A little-endian field of `width` bytes at `at`; nullopt when it runs past the end.
std::optional<std::uint32_t> Field(std::string_view bytes, std::size_t at, std::size_t width) {
  if (at > bytes.size() || bytes.size() - at < width) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Whether a string of `unit`-byte characters starting at the offset stored at `field`
// ends with a NUL inside `bytes`.
bool TerminatedStringAt(std::string_view bytes, std::size_t field, std::size_t unit) {
  const std::optional<std::uint32_t> at = Field(bytes, field, 4);
  if (!at) return false;
  for (std::size_t i = *at; i <= bytes.size() && bytes.size() - i >= unit; i += unit) {
    if (bytes.substr(i, unit).find_first_not_of('\0') == std::string_view::npos) return true;
  }
  return false;
}

// Whether a fixed-size character field ends with a NUL inside itself.
bool TerminatedField(std::string_view bytes, std::size_t at, std::size_t size, std::size_t unit) {
  const std::string_view field = bytes.substr(at, size);
  for (std::size_t i = 0; i + unit <= field.size(); i += unit) {
    if (field.substr(i, unit).find_first_not_of('\0') == std::string_view::npos) return true;
  }
  return false;
}

// Items of at least three bytes (their size and a kind), closed by a zero size that ends
// the list exactly.
bool ItemListHolds(std::string_view list) {
  for (std::size_t at = 0;;) {
    const std::optional<std::uint32_t> size = Field(list, at, 2);
    if (!size) return false;
    if (*size == 0) return list.size() - at == 2;
    if (*size < 3 || *size > list.size() - at) return false;
    at += *size;
  }
}

// A block that starts with its own 4-byte size, at least `minimum`, inside `bytes`.
std::optional<std::string_view> SizedBlock(std::string_view bytes, std::size_t at,
                                           std::size_t minimum) {
  const std::optional<std::uint32_t> size = Field(bytes, at, 4);
  if (!size || *size < minimum || *size > bytes.size() - at) return std::nullopt;
  return bytes.substr(at, *size);
}

bool VolumeHolds(std::string_view info, std::size_t offsetField) {
  const std::optional<std::uint32_t> at = Field(info, offsetField, 4);
  const std::optional<std::string_view> volume = at ? SizedBlock(info, *at, 0x10) : std::nullopt;
  if (!volume) return false;
  // A label offset of 0x14 says the label is UTF-16, at the offset that follows.
  if (Field(*volume, 12, 4) == 0x14u) return TerminatedStringAt(*volume, 16, 2);
  return TerminatedStringAt(*volume, 12, 1);
}

bool NetworkLinkHolds(std::string_view info, std::size_t offsetField) {
  const std::optional<std::uint32_t> at = Field(info, offsetField, 4);
  const std::optional<std::string_view> share = at ? SizedBlock(info, *at, 0x14) : std::nullopt;
  if (!share) return false;
  const bool hasDevice = (Field(*share, 4, 4).value() & kHasDeviceName) != 0;
  if (!TerminatedStringAt(*share, 8, 1) || (hasDevice && !TerminatedStringAt(*share, 12, 1))) {
    return false;
  }
  // A share name after offset 0x14 leaves room for the UTF-16 offsets.
  if (Field(*share, 8, 4).value() <= 0x14) return true;
  return TerminatedStringAt(*share, 0x14, 2) && (!hasDevice || TerminatedStringAt(*share, 0x18, 2));
}

bool LinkInfoHolds(std::string_view info) {
  const std::optional<std::uint32_t> header = Field(info, 4, 4);
  const std::optional<std::uint32_t> flags = Field(info, 8, 4);
  // The header has the ANSI offsets only (0x1C bytes) or the UTF-16 ones too.
  if (!header || !flags || *header > info.size() || (*header != 0x1C && *header < 0x24)) {
    return false;
  }
  const bool unicode = *header >= 0x24;
  if (*flags & kHasVolumeAndLocalPath) {
    if (!VolumeHolds(info, 12) || !TerminatedStringAt(info, 16, 1)) return false;
    if (unicode && !TerminatedStringAt(info, 0x1C, 2)) return false;
  }
  if ((*flags & kHasNetworkLink) && !NetworkLinkHolds(info, 20)) return false;
  return TerminatedStringAt(info, 24, 1) && (!unicode || TerminatedStringAt(info, 0x20, 2));
}

// An extra data block of a known kind has the size its kind fixes, and its strings end
// inside their fields; unknown kinds are skipped, as the shell skips them.
bool ExtraBlockHolds(std::string_view block, std::size_t itemListSize) {
  const std::uint32_t size = static_cast<std::uint32_t>(block.size());
  switch (Field(block, 4, 4).value()) {
    case 0xA0000001:  // environment variables
    case 0xA0000006:  // installer identifier
    case 0xA0000007:  // icon path with variables
      return size == 0x314 && TerminatedField(block, 8, 260, 1) &&
             TerminatedField(block, 268, 520, 2);
    case 0xA0000002:  // console
      return size == 0xCC;
    case 0xA0000003:  // distributed link tracker
      return size == 0x60;
    case 0xA0000004:  // console code page
      return size == 0xC;
    case 0xA0000005:  // special folder: an offset into the item list, when there is one
      return size == 0x10 && (itemListSize == 0 || Field(block, 12, 4).value() < itemListSize);
    case 0xA000000B:  // known folder: the same
      return size == 0x1C && (itemListSize == 0 || Field(block, 24, 4).value() < itemListSize);
    case 0xA0000008:  // compatibility layer name
      return size >= 0x88;
    case 0xA0000009:  // property store
      return size >= 0xC;
    case 0xA000000C:  // an item list for newer systems
      return ItemListHolds(block.substr(8));
    default:
      return true;
  }
}

}  // namespace

bool LinkLayoutHolds(std::string_view link) {
  if (Field(link, 0, 4) != kHeaderSize || link.size() < kHeaderSize ||
      link.substr(4, kShellLinkClass.size()) != kShellLinkClass) {
    return false;
  }
  const std::uint32_t flags = Field(link, 0x14, 4).value();
  std::size_t at = kHeaderSize;
  std::size_t itemListSize = 0;
  if (flags & kHasItemList) {
    const std::optional<std::uint32_t> size = Field(link, at, 2);
    if (!size || *size > link.size() - at - 2 || !ItemListHolds(link.substr(at + 2, *size))) {
      return false;
    }
    itemListSize = *size;
    at += 2 + *size;
  }
  if (flags & kHasLinkInfo) {
    const std::optional<std::string_view> info = SizedBlock(link, at, 0x1C);
    if (!info || !LinkInfoHolds(*info)) return false;
    at += info->size();
  }
  const std::size_t unit = (flags & kIsUnicode) ? 2 : 1;
  for (const std::uint32_t flag : kStringFlags) {
    if (!(flags & flag)) continue;
    const std::optional<std::uint32_t> count = Field(link, at, 2);
    if (!count || std::size_t{*count} * unit > link.size() - at - 2) return false;
    at += 2 + std::size_t{*count} * unit;
  }
  // Extra data blocks, closed by one whose size is below 4 (or by the end of the file).
  while (link.size() - at >= 4 && Field(link, at, 4).value() >= 4) {
    const std::optional<std::string_view> block = SizedBlock(link, at, 8);
    if (!block || !ExtraBlockHolds(*block, itemListSize)) return false;
    at += block->size();
  }
  return true;
}

std::optional<std::string> ReadSoundLinkFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error || size > kMaxLinkFileSize) return std::nullopt;
  std::optional<std::string> bytes = ReadWholeFile(file);
  if (!bytes || bytes->size() > kMaxLinkFileSize || !LinkLayoutHolds(*bytes)) return std::nullopt;
  return bytes;
}

}  // namespace ovix
