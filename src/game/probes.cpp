#include "game/probes.h"

#include <algorithm>

namespace ovix {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Other letters are compared exactly, as Windows does for executable names here: folding only
// a to z keeps UTF-8 sequences intact, since none of their bytes is ASCII.
bool EqualsFoldingAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

}  // namespace

std::string FormatFileVersion(const FileVersion& version) {
  return std::to_string(version[0]) + '.' + std::to_string(version[1]) + '.' +
         std::to_string(version[2]);
}

bool ExeNameMatches(std::string_view processExeName, std::string_view exeName) {
  const std::size_t cut = processExeName.find_last_of("\\:");
  const std::string_view fileName =
      cut == std::string_view::npos ? processExeName : processExeName.substr(cut + 1);
  return EqualsFoldingAscii(fileName, exeName) || EqualsFoldingAscii(processExeName, exeName);
}

}  // namespace ovix
