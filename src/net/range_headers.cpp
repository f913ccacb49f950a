#include "net/range_headers.h"

namespace ovix {

std::string ChooseValidator(std::string_view etag, std::string_view lastModified) {
  // A weak ETag may stand for bytes that differ, which a range must not be mixed with.
  if (!etag.empty() && !etag.starts_with("W/")) return std::string(etag);
  return std::string(lastModified);
}

std::optional<std::uint64_t> ContentRangeStart(std::string_view contentRange) {
  constexpr std::string_view kUnit = "bytes ";
  if (!contentRange.starts_with(kUnit)) return std::nullopt;
  contentRange.remove_prefix(kUnit.size());
  std::uint64_t first = 0;
  std::size_t digits = 0;
  for (; digits < contentRange.size() && contentRange[digits] >= '0' && contentRange[digits] <= '9';
       ++digits) {
    if (digits == 19) return std::nullopt;  // beyond any file
    first = first * 10 + static_cast<std::uint64_t>(contentRange[digits] - '0');
  }
  if (digits == 0 || digits >= contentRange.size() || contentRange[digits] != '-') {
    return std::nullopt;
  }
  return first;
}

}  // namespace ovix
