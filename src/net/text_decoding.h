#pragma once

#include <string>
#include <string_view>

namespace ovix {

// Downloaded or local file content as text: by its byte-order mark UTF-8,
// UTF-16 little- or big-endian (the mark dropped); without one, the system's
// ANSI code page. Nothing is trimmed.
std::string DecodeText(std::string_view bytes);

}  // namespace ovix
