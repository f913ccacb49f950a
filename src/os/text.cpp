#include "os/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace ovix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at text[i] and advances i; malformed input
// yields U+FFFD and consumes one byte, so decoding always makes progress.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + static_cast<std::size_t>(extra) >= text.size()) {  // truncated sequence
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char c = byte(i + static_cast<std::size_t>(k));
    if ((c & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = DecodeUtf8(text, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out,
                 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string RepairUtf8(std::string_view text) { return Utf16ToUtf8(Utf8ToUtf16(text)); }

std::size_t Utf16Length(std::string_view text) { return Utf8ToUtf16(text).size(); }

#ifdef _WIN32
std::wstring Widen(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}
#endif

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

std::string ExceptionText(const std::exception_ptr& error, std::string_view unknown) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return std::string(unknown);
  }
}

std::string ShownText(std::string_view text) {
  const std::string valid = RepairUtf8(text);
  std::string shown;
  char escape[8];
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    const auto next = i + 1 < valid.size() ? static_cast<unsigned char>(valid[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      shown += escape;
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      std::snprintf(escape, sizeof escape, "\\u%04X", next);
      shown += escape;
      ++i;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::optional<std::uint64_t> DecimalNumber(std::string_view text) {
  if (text.empty() || text.size() > 19 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : text) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  return value;
}

void ReplaceAll(std::string& text, std::string_view placeholder, std::string_view value) {
  std::string result;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(placeholder, from)) != std::string::npos;
       from = at + placeholder.size()) {
    result.append(text, from, at - from).append(value);
  }
  if (from == 0) return;
  result.append(text, from);
  text = std::move(result);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

// Backtracking over the last star keeps this linear in practice and never recursive.
bool MatchesMask(std::string_view text, std::string_view mask) {
  std::size_t t = 0, m = 0;
  std::size_t starMask = std::string_view::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && AsciiUpper(mask[m]) == AsciiUpper(text[t])) {
      ++m;
      ++t;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace ovix
