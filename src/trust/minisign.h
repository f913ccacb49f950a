#pragma once
// Signatures in minisign's format (Ed25519), by libsodium: that an answer of the update
// service is the one its author signed, whoever runs the host.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ovix {

struct TPublicKey {
  std::array<unsigned char, 8> id{};
  std::array<unsigned char, 32> key{};
};

// A public key from a key file's text (a comment line, then the base64 line of "Ed", the
// key id and the key) or from that base64 line alone; nullopt when it is neither.
std::optional<TPublicKey> ParsePublicKey(std::string_view text);

// Keys from a list of base64 key lines separated by blanks, commas or semicolons; false
// with nothing added when one of them is not a key.
bool ParsePublicKeys(std::string_view list, std::vector<TPublicKey>& keys);

enum class TSignatureCheck {
  Valid,         // signed by one of the keys, message and trusted comment unaltered
  Malformed,     // not a signature file of this format
  UntrustedKey,  // signed by a key not among the trusted ones
  BadSignature,  // the message or the trusted comment was altered, or the signature forged
};

// Checks a `.minisig` file's text against the message's bytes and the trusted keys: the
// signature of the message (of the bytes, or with "ED" of their BLAKE2b-512 hash) and the
// global signature of that signature and the trusted comment, both by the key its id names.
TSignatureCheck CheckMinisign(std::span<const unsigned char> message, std::string_view signature,
                              std::span<const TPublicKey> trusted);

// The check in words, for logs and the console: "signed by a trusted key", "not signed by a
// trusted key", ...
std::string_view SignatureCheckWords(TSignatureCheck check);

}  // namespace ovix
