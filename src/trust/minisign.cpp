#include "trust/minisign.h"

#include <sodium.h>

#include <algorithm>

#include "trust/sodium_init.h"

namespace ovix {
namespace {

constexpr std::size_t kSignatureBytes = crypto_sign_BYTES;     // 64
constexpr std::size_t kKeyBytes = crypto_sign_PUBLICKEYBYTES;  // 32
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kUntrustedPrefix = "untrusted comment:";

// The lines of a text, without their line ends (LF or CRLF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Standard base64 with padding, decoding to exactly `size` bytes; nullopt otherwise.
std::optional<std::vector<unsigned char>> Base64(std::string_view text, std::size_t size) {
  if (!SodiumReady()) return std::nullopt;
  std::vector<unsigned char> bytes(size + 3);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != size) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

bool Verify(std::span<const unsigned char> signature, std::span<const unsigned char> message,
            const TPublicKey& key) {
  return crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                     key.key.data()) == 0;
}

}  // namespace

std::optional<TPublicKey> ParsePublicKey(std::string_view text) {
  const std::vector<std::string_view> lines = Lines(Trimmed(text));
  if (lines.empty() || lines.size() > 2) return std::nullopt;
  if (lines.size() == 2 && !lines[0].starts_with(kUntrustedPrefix)) return std::nullopt;
  const auto bytes = Base64(Trimmed(lines.back()), 2 + 8 + kKeyBytes);
  if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
  TPublicKey key;
  std::copy_n(bytes->begin() + 2, key.id.size(), key.id.begin());
  std::copy_n(bytes->begin() + 10, key.key.size(), key.key.begin());
  return key;
}

bool ParsePublicKeys(std::string_view list, std::vector<TPublicKey>& keys) {
  std::vector<TPublicKey> parsed;
  while (!list.empty()) {
    const std::size_t end = list.find_first_of(" ,;\t\r\n");
    const std::string_view word = list.substr(0, end);
    if (!word.empty()) {
      const std::optional<TPublicKey> key = ParsePublicKey(word);
      if (!key) return false;
      parsed.push_back(*key);
    }
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  keys.insert(keys.end(), parsed.begin(), parsed.end());
  return true;
}

TSignatureCheck CheckMinisign(std::span<const unsigned char> message, std::string_view signature,
                              std::span<const TPublicKey> trusted) {
  const std::vector<std::string_view> lines = Lines(signature);
  if (lines.size() < 4 || !lines[0].starts_with(kUntrustedPrefix) ||
      !lines[2].starts_with(kTrustedPrefix)) {
    return TSignatureCheck::Malformed;
  }
  const auto signed_ = Base64(Trimmed(lines[1]), 2 + 8 + kSignatureBytes);
  const auto global = Base64(Trimmed(lines[3]), kSignatureBytes);
  if (!signed_ || !global) return TSignatureCheck::Malformed;
  const bool prehashed = (*signed_)[0] == 'E' && (*signed_)[1] == 'D';
  if (!prehashed && !((*signed_)[0] == 'E' && (*signed_)[1] == 'd')) {
    return TSignatureCheck::Malformed;
  }
  const auto id = std::span<const unsigned char>(*signed_).subspan(2, 8);
  const auto key = std::find_if(trusted.begin(), trusted.end(), [&](const TPublicKey& k) {
    return std::equal(id.begin(), id.end(), k.id.begin());
  });
  if (key == trusted.end()) return TSignatureCheck::UntrustedKey;
  const auto messageSignature = std::span<const unsigned char>(*signed_).subspan(10);

  std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};  // BLAKE2b-512
  std::span<const unsigned char> signedBytes = message;
  if (prehashed) {
    crypto_generichash(hash.data(), hash.size(), message.data(), message.size(), nullptr, 0);
    signedBytes = hash;
  }
  if (!Verify(messageSignature, signedBytes, *key)) return TSignatureCheck::BadSignature;

  // The trusted comment is signed together with the signature: neither can be swapped.
  const std::string_view comment = lines[2].substr(kTrustedPrefix.size());
  std::vector<unsigned char> both(messageSignature.begin(), messageSignature.end());
  both.insert(both.end(), comment.begin(), comment.end());
  if (!Verify(*global, both, *key)) return TSignatureCheck::BadSignature;
  return TSignatureCheck::Valid;
}

std::string_view SignatureCheckWords(TSignatureCheck check) {
  switch (check) {
    case TSignatureCheck::Valid:
      return "signed by a trusted key";
    case TSignatureCheck::Malformed:
      return "its signature file is not a signature";
    case TSignatureCheck::UntrustedKey:
      return "signed by a key that is not trusted";
    case TSignatureCheck::BadSignature:
      return "altered since it was signed, or the signature is forged";
  }
  return "not checked";
}

}  // namespace ovix
