#pragma once
// Writes minimal shell link files, so tests on any system can make shortcuts without
// the Windows shell. Only the header, a LinkInfo block and the closing block are written.

#include <cstdint>
#include <string>
#include <string_view>

#include "os/text.h"

namespace ovix::test {

struct ShellLinkTarget {
  // Bytes in the reader's ANSI code page; plain ASCII is safe everywhere.
  std::string localBasePath;  // "D:\\Games\\x.exe"; none when empty
  std::string networkShare;   // "\\\\server\\share"; none when empty
  std::string pathSuffix;     // follows the base path, or the share after a "\\"
  // Also writes UTF-16 copies of the local path and suffix, converted from the UTF-8 given
  // in `unicodeBasePath` and `unicodeSuffix`.
  bool unicode = false;
  std::string unicodeBasePath;
  std::string unicodeSuffix;
};

namespace shell_link_detail {

inline void Put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void Set32(std::string& out, std::size_t at, std::size_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutText(std::string& out, std::string_view text) {
  out += text;
  out += '\0';
}

inline void PutWide(std::string& out, std::string_view utf8) {
  for (const char16_t unit : Utf8ToUtf16(utf8) + u'\0') {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
}

}  // namespace shell_link_detail

// The bytes of a shell link file whose LinkInfo names `target`.
inline std::string ShellLinkBytes(const ShellLinkTarget& target) {
  using namespace shell_link_detail;
  constexpr std::uint32_t kHasLinkInfo = 0x02;
  constexpr std::uint32_t kIsUnicode = 0x80;
  constexpr std::uint32_t kVolumeAndLocalPath = 0x01;
  constexpr std::uint32_t kNetworkLink = 0x02;
  const bool local = !target.localBasePath.empty();
  const bool network = !target.networkShare.empty();

  std::string link;
  Put32(link, 0x4C);  // header size
  // The shell link class.
  link += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
  Put32(link, kHasLinkInfo | kIsUnicode);
  Put32(link, 0x20);                         // an archived file
  link += std::string(3 * 8 + 4 + 4, '\0');  // times, size, icon index
  Put32(link, 1);                            // shown normally
  link += std::string(2 + 2 + 4 + 4, '\0');  // hot key, reserved

  const std::size_t info = link.size();
  const std::size_t headerSize = target.unicode ? 0x24 : 0x1C;
  link += std::string(headerSize, '\0');
  Set32(link, info + 4, headerSize);
  Set32(link, info + 8, (local ? kVolumeAndLocalPath : 0) | (network ? kNetworkLink : 0));
  if (local) {
    Set32(link, info + 12, link.size() - info);
    Put32(link, 0x11);  // a fixed drive without a label
    Put32(link, 3);
    Put32(link, 0x1234ABCD);
    Put32(link, 0x10);
    link += '\0';
    Set32(link, info + 16, link.size() - info);
    PutText(link, target.localBasePath);
  }
  if (network) {
    const std::size_t share = link.size();
    Set32(link, info + 20, share - info);
    Put32(link, 0);  // its size, set below
    Put32(link, 0);  // no provider type
    Put32(link, 0x14);
    Put32(link, 0);  // no device name
    Put32(link, 0);
    PutText(link, target.networkShare);
    Set32(link, share, link.size() - share);
  }
  Set32(link, info + 24, link.size() - info);
  PutText(link, target.pathSuffix);
  if (target.unicode) {
    if (local) {
      Set32(link, info + 28, link.size() - info);
      PutWide(link, target.unicodeBasePath);
    }
    Set32(link, info + 32, link.size() - info);
    PutWide(link, target.unicodeSuffix);
  }
  Set32(link, info, link.size() - info);
  Put32(link, 0);  // no extra data
  return link;
}

}  // namespace ovix::test
