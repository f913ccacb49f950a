#include "net/range_headers.h"

#include "os/text.h"

namespace ovix {
namespace {

// The decimal number at the start of `text`, taken off it; nullopt without digits or beyond
// any file.
std::optional<std::uint64_t> TakeNumber(std::string_view& text) {
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (digits == 19) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::string ChooseValidator(std::string_view etag, std::string_view lastModified) {
  if (etag.starts_with("W/")) return {};
  return std::string(etag.empty() ? lastModified : etag);
}

std::optional<TContentRange> ParseContentRange(std::string_view text) {
  constexpr std::string_view kUnit = "bytes ";
  if (!text.starts_with(kUnit)) return std::nullopt;
  text.remove_prefix(kUnit.size());
  TContentRange range;
  const auto first = TakeNumber(text);
  if (!first || !TakeChar(text, '-')) return std::nullopt;
  const auto last = TakeNumber(text);
  if (!last || !TakeChar(text, '/')) return std::nullopt;
  const auto total = TakeNumber(text);
  if (!total || !text.empty() || *first > *last || *last >= *total) return std::nullopt;
  return TContentRange{*first, *last, *total};
}

bool ContinuesExactly(std::string_view contentRange, std::string_view contentEncoding,
                      std::uint64_t offset, std::uint64_t total) {
  const std::optional<TContentRange> range = ParseContentRange(contentRange);
  return range && IsIdentityCoding(contentEncoding) && total > 0 && range->first == offset &&
         range->total == total && range->last + 1 == total;
}

bool IsIdentityCoding(std::string_view contentEncoding) {
  return contentEncoding.empty() || EqualsIgnoringAsciiCase(contentEncoding, "identity");
}

}  // namespace ovix
