#pragma once
// UTF-8 is the program's text everywhere; UTF-16 appears only at Windows calls
// and where a rule counts characters the way Windows does.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// Invalid UTF-8 sequences become U+FFFD; they never throw.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Valid UTF-8: malformed sequences become U+FFFD.
std::string RepairUtf8(std::string_view text);
// The length of the text in UTF-16 code units.
std::size_t Utf16Length(std::string_view text);

// Only a to z change case: every byte of a UTF-8 sequence for another character stays
// as it is, so these never break one.
char AsciiUpper(char c);
char AsciiLower(char c);
std::string AsciiLowerCase(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Every occurrence, left to right, without overlaps; the inserted text is not searched again.
// Text for a terminal: valid UTF-8 with every control character (C0, DEL and C1) written as
// an escape ("\x1B", "\u009B"), so that a script's bytes can neither move the cursor nor cut a
// line short.
std::string ShownText(std::string_view text);

// What an error says: its what() for a std::exception, `unknown` for anything else.
std::string ExceptionText(const std::exception_ptr& error, std::string_view unknown);

// A number of decimal digits only, at most 19 of them; nullopt for anything else.
std::optional<std::uint64_t> DecimalNumber(std::string_view text);

void ReplaceAll(std::string& text, std::string_view placeholder, std::string_view value);

// "*" matches any run of characters, none included; ASCII letters match either case;
// every other character must be equal.
bool MatchesMask(std::string_view text, std::string_view mask);

#ifdef _WIN32
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
#endif

}  // namespace ovix
