#include "trust/sha256.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

#include "os/text.h"
#include "trust/sodium_init.h"

namespace ovix {

namespace {

std::string Hex(const std::array<unsigned char, crypto_hash_sha256_BYTES>& digest) {
  std::string hex(digest.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
  hex.pop_back();  // the terminating NUL
  return hex;
}

}  // namespace

std::optional<std::string> Sha256OfText(std::string_view bytes) {
  if (!SodiumReady()) return std::nullopt;
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size());
  return Hex(digest);
}

std::optional<std::string> Sha256OfFile(const std::filesystem::path& file) {
  if (!SodiumReady()) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<char> chunk(256 * 1024);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<unsigned long long>(in.gcount());
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(chunk.data()), got);
  }
  if (in.bad()) return std::nullopt;
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256_final(&state, digest.data());
  return Hex(digest);
}

std::optional<std::string> ExpectedSha256(std::string_view words) {
  constexpr std::string_view kKey = "sha256=";
  constexpr auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!words.empty()) {
    while (!words.empty() && isBlank(words.front())) words.remove_prefix(1);
    std::size_t end = 0;
    while (end < words.size() && !isBlank(words[end])) ++end;
    const std::string_view word = words.substr(0, end);
    words.remove_prefix(end);
    const std::string lower = AsciiLowerCase(word);
    if (lower.starts_with(kKey)) return lower.substr(kKey.size());
  }
  return std::nullopt;
}

bool IsSha256Digest(std::string_view text) {
  return text.size() == crypto_hash_sha256_BYTES * 2 &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace ovix
