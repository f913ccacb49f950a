#pragma once
// The HTTP headers that let a download continue where it was cut off, read the same way
// by every transport.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovix {

// The validator to continue a file under: a strong ETag when there is one, else the
// Last-Modified date; empty when neither can name one version (a weak ETag alone).
std::string ChooseValidator(std::string_view etag, std::string_view lastModified);

// The first byte of a "bytes FIRST-LAST/TOTAL" Content-Range; nullopt when it is not one.
std::optional<std::uint64_t> ContentRangeStart(std::string_view contentRange);

}  // namespace ovix
