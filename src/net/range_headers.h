#pragma once
// The HTTP headers that let a download continue where it was cut off, read the same way
// by every transport.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// The validator to continue a file under: a strong ETag when there is one, else the
// Last-Modified date; empty when neither can name one version. A weak ETag names none, and
// with one present a date must not stand in for it either (an If-Range may carry neither).
std::string ChooseValidator(std::string_view etag, std::string_view lastModified);

// A "bytes FIRST-LAST/TOTAL" Content-Range.
struct TContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t total = 0;
};
// nullopt when the text is not one, or its total is unknown ("*") or contradicts its range.
std::optional<TContentRange> ParseContentRange(std::string_view contentRange);

// Whether a partial response continues a file of `total` bytes whose first `offset` are held:
// exactly the rest, of that total, as sent (no content coding).
bool ContinuesExactly(std::string_view contentRange, std::string_view contentEncoding,
                      std::uint64_t offset, std::uint64_t total);

// Whether a Content-Encoding leaves the bytes as they are stored.
bool IsIdentityCoding(std::string_view contentEncoding);

}  // namespace ovix
