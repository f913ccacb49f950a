#include "net/transfer_codes.h"

#include <cstdio>

#include "os/text.h"

namespace ovix {

std::string FormatTransferCode(std::uint32_t code) {
  char digits[9];
  std::snprintf(digits, sizeof(digits), "%08X", static_cast<unsigned>(code));
  return digits;
}

std::string MonikerText(std::uint32_t code) { return "URL Moniker 0x" + FormatTransferCode(code); }

std::string DescribeTransferCode(std::uint32_t code) {
  std::string text = MonikerText(code);
  if (code == kTransferTooLarge) {
    text += " (the answer is larger than " + std::to_string(kAnswerLimit >> 20) +
            " MiB, so it was not taken)";
  }
  return text;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool IsHttpsAddress(std::string_view address) { return StartsWithNoCase(address, "https:"); }

std::uint32_t CheckAddressScheme(std::string_view address) {
  if (IsHttpsAddress(address) || StartsWithNoCase(address, "http:")) return kTransferOk;
  return address.find(':') == std::string_view::npos ? kTransferInvalidUrl
                                                     : kTransferUnknownProtocol;
}

}  // namespace ovix
