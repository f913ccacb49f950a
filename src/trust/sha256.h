#pragma once
// SHA-256 of files, by libsodium: that a download is the very file a script names.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// The file's SHA-256 as 64 lower-case hexadecimal digits; nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& file);
// The same of bytes held in memory.
std::optional<std::string> Sha256OfText(std::string_view bytes);

// The digest a GETFILE line names in a `sha256=<64 hexadecimal digits>` word among the words
// after its two arguments, lower-cased; nullopt without such a word. A word whose digits are
// not 64 hexadecimal ones gives its text, which no file's digest matches.
std::optional<std::string> ExpectedSha256(std::string_view words);
// Whether a text is a digest ExpectedSha256 can match: 64 lower-case hexadecimal digits.
bool IsSha256Digest(std::string_view text);

}  // namespace ovix
