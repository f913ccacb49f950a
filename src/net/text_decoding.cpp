#include "net/text_decoding.h"

#include "os/ansi.h"
#include "os/text.h"

namespace ovix {
namespace {

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  // A last odd byte cannot form a character and is dropped.
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return Utf16ToUtf8(units);
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark;
}

}  // namespace

std::string DecodeText(std::string_view bytes) {
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return RepairUtf8(bytes.substr(3));
  if (StartsWith(bytes, "\xFF\xFE")) return FromUtf16(bytes.substr(2), false);
  if (StartsWith(bytes, "\xFE\xFF")) return FromUtf16(bytes.substr(2), true);
  return AnsiToUtf8(bytes);
}

}  // namespace ovix
