#pragma once
// The layout of a shell link file, walked before any link reader sees it. Both readers (the
// Windows shell and liblnk) trust the sizes and offsets a link declares, so a damaged
// shortcut on a player's desktop could make them read far past what they allocated.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// Links this long are not shortcuts; real ones are a few kilobytes.
constexpr std::size_t kMaxLinkFileSize = 1 << 20;

// Whether every part of the link lies where it says and ends where it must: the header
// (its size and class), the item list and each item in it, the LinkInfo block with its
// volume, network and path strings, the counted strings and the extra data blocks, whose
// known kinds have their fixed sizes and terminated strings.
bool LinkLayoutHolds(std::string_view link);

// The bytes of a link file that is a regular file of at most kMaxLinkFileSize bytes whose
// layout holds; nullopt otherwise.
std::optional<std::string> ReadSoundLinkFile(const std::filesystem::path& file);

}  // namespace ovix
