// Any downloaded bytes decode to well-formed UTF-8, whatever mark they start with, and so
// do bytes in every code page the program converts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/text_decoding.h"
#include "os/ansi.h"
#include "os/text.h"

namespace {

void CheckWellFormed(const std::string& text) {
  if (ovix::RepairUtf8(text) != text) std::abort();
  // Well-formed UTF-8 survives the trip through UTF-16 unchanged.
  if (ovix::Utf16ToUtf8(ovix::Utf8ToUtf16(text)) != text) std::abort();
}

constexpr std::array<std::uint32_t, 5> kCodePages = {1250, 1251, 1252, 65001, 932};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckWellFormed(ovix::DecodeText(bytes));
  if (size > 0) {
    const std::uint32_t codePage = kCodePages[data[0] % kCodePages.size()];
    // An unknown code page is read as 1252, so it must come out well-formed too.
    CheckWellFormed(ovix::CodePageToUtf8(bytes.substr(1), codePage));
  }
  return 0;
}
