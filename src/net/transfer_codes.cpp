#include "net/transfer_codes.h"

#include <cstdio>

namespace ovix {

std::string FormatTransferCode(std::uint32_t code) {
  char digits[9];
  std::snprintf(digits, sizeof(digits), "%08X", static_cast<unsigned>(code));
  return digits;
}

}  // namespace ovix
