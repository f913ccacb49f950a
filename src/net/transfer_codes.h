#pragma once
// The 32-bit result codes of a transfer. Every transport reports the same code
// for the same failure, so the failure message reads the same on every platform.
// Failures use the URL-moniker family (0x800C....).

#include <cstdint>
#include <string>
#include <string_view>

namespace ovix {

inline constexpr std::uint32_t kTransferOk = 0x00000000;               // S_OK
inline constexpr std::uint32_t kTransferAborted = 0x80004004;          // E_ABORT
inline constexpr std::uint32_t kTransferInvalidUrl = 0x800C0002;       // malformed address
inline constexpr std::uint32_t kTransferCannotConnect = 0x800C0004;    // refused, unreachable
inline constexpr std::uint32_t kTransferNotFound = 0x800C0005;         // unknown host, 404, 410
inline constexpr std::uint32_t kTransferWrongContent = 0x800C0007;     // not the file named
                                                                       // (its SHA-256 differs)
inline constexpr std::uint32_t kTransferFailed = 0x800C0008;           // HTTP error, cut short,
                                                                       // or the file not written
inline constexpr std::uint32_t kTransferNotSigned = 0x800C0009;        // an answer without a valid
                                                                       // signature by a trusted key
inline constexpr std::uint32_t kTransferTimeout = 0x800C000B;          // no data for too long
inline constexpr std::uint32_t kTransferUnknownProtocol = 0x800C000D;  // not http or https
inline constexpr std::uint32_t kTransferSecurityProblem = 0x800C000E;  // certificate or TLS
inline constexpr std::uint32_t kTransferRedirectFailed = 0x800C0014;   // downgrade or loop
// An answer (a list, a script, a signature) larger than any real one may be; it is cut off
// rather than read into memory.
inline constexpr std::uint32_t kTransferTooLarge = 0x800C7F02;
// The connection was lost in the middle (reset, or a body shorter than announced). Never
// reported: the downloader tries again and reports kTransferFailed when it gives up.
inline constexpr std::uint32_t kTransferInterrupted = 0x800C7F01;

// A server that sends nothing for this long has stalled.
inline constexpr int kStallSeconds = 60;
inline constexpr int kMaxRedirects = 10;
// The most an answer that is read whole into memory may hold.
inline constexpr std::uint64_t kAnswerLimit = 16u << 20;
inline constexpr std::uint64_t kSignatureLimit = 64u << 10;

// "800C0005": eight upper-case hexadecimal digits.
std::string FormatTransferCode(std::uint32_t code);
// "URL Moniker 0x800C0005": how the player is told a code.
std::string MonikerText(std::uint32_t code);
// The same, with a few words after it for the codes of this program's own.
std::string DescribeTransferCode(std::uint32_t code);

// Schemes compare without regard to case, as addresses define them: "Https://" is as
// protected as "https://", and both transports must see it so.
bool IsHttpsAddress(std::string_view address);
// kTransferOk for an http or https address; kTransferUnknownProtocol for any other text
// before a colon (also "127.0.0.1:8765/f.bin", which names no scheme and must not be
// guessed to be http); kTransferInvalidUrl without a colon at all.
std::uint32_t CheckAddressScheme(std::string_view address);

}  // namespace ovix
