#pragma once
// Text in the system's ANSI code page: what a downloaded file without a
// byte-order mark is taken to be.

#include <cstdint>
#include <string>
#include <string_view>

namespace ovix {

inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// The ANSI code page in force: the system's on Windows; on posix the one that
// matches the locale's character set (UTF-8 -> 65001, Cyrillic -> 1251,
// Central European -> 1250, otherwise 1252).
std::uint32_t AnsiCodePage();
// Converts ANSI text of the code page in force to UTF-8.
std::string AnsiToUtf8(std::string_view bytes);

// Portable conversion for 1250, 1251, 1252 and 65001; other code pages are read as 1252.
bool IsSupportedCodePage(std::uint32_t codePage);
std::string CodePageToUtf8(std::string_view bytes, std::uint32_t codePage);
// The code page a posix locale name's character set stands for ("ru_RU.CP1251" -> 1251).
std::uint32_t CodePageFromLocaleName(std::string_view name);

}  // namespace ovix
