#pragma once
// The bytes the fault server sends, for tests on either side of it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovix::test {

// The pattern bytes [offset, offset + size). Position-dependent and not periodic, so a
// lost, repeated or shifted piece of a download shows up.
inline std::string PatternBytes(std::size_t size, std::size_t offset = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    // Top byte of a multiplicative hash of the position.
    const std::uint64_t x = (static_cast<std::uint64_t>(offset + i) + 1) * 0x9E3779B97F4A7C15ull;
    bytes[i] = static_cast<char>(x >> 56);
  }
  return bytes;
}

}  // namespace ovix::test
