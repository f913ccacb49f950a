#include "script/split_arguments.h"

namespace ovix {
std::string_view TrimBlanksAndControls(std::string_view text) {
  const auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Blanks and quotes are ASCII, so scanning UTF-8 bytes finds the same arguments
// as scanning UTF-16 units would.
TArguments SplitArguments(std::string_view line, std::string_view* after) {
  TArguments result;
  std::size_t slot = 0;
  std::size_t pos = 0;
  while (pos < line.size() && slot < result.size()) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    std::string_view argument;
    if (line[pos] == '"') {
      const std::size_t close = line.find('"', pos + 1);
      const std::size_t end = close == std::string_view::npos ? line.size() : close;
      argument = line.substr(pos + 1, end - pos - 1);
      pos = close == std::string_view::npos ? line.size() : close + 1;
    } else {
      const std::size_t blank = line.find(' ', pos);
      const std::size_t end = blank == std::string_view::npos ? line.size() : blank;
      argument = line.substr(pos, end - pos);
      pos = end;
    }
    result[slot++] = std::string(TrimBlanksAndControls(argument));
  }
  if (after) *after = line.substr(pos);
  return result;
}

}  // namespace ovix
