#include "game/steam_libraries.h"

#include <algorithm>
#include <optional>

#include "os/text.h"

namespace ovix {
namespace {

struct Token {
  enum Kind { Text, Open, Close } kind;
  std::string text;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The next token from `at` on; nullopt at the end or at damage (an unterminated string).
std::optional<Token> NextToken(std::string_view vdf, std::size_t& at) {
  for (;;) {
    while (at < vdf.size() && IsBlank(vdf[at])) ++at;
    if (vdf.substr(at, 2) != "//") break;
    while (at < vdf.size() && vdf[at] != '\n') ++at;
  }
  if (at >= vdf.size()) return std::nullopt;
  if (vdf[at] == '{' || vdf[at] == '}')
    return Token{vdf[at++] == '{' ? Token::Open : Token::Close, {}};
  Token token{Token::Text, {}};
  if (vdf[at] != '"') {
    while (at < vdf.size() && !IsBlank(vdf[at]) && vdf[at] != '{' && vdf[at] != '}' &&
           vdf[at] != '"')
      token.text += vdf[at++];
    return token;
  }
  for (++at; at < vdf.size(); ++at) {
    char c = vdf[at];
    if (c == '"') {
      ++at;
      return token;
    }
    if (c == '\\' && at + 1 < vdf.size()) {
      c = vdf[++at];
      if (c == 'n') c = '\n';
      if (c == 't') c = '\t';
    }
    token.text += c;
  }
  return std::nullopt;
}

bool IsNumber(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<std::string> SteamLibraryPaths(std::string_view vdf) {
  std::vector<std::string> paths;
  std::size_t at = 0;
  std::optional<Token> key;
  while (std::optional<Token> token = NextToken(vdf, at)) {
    if (token->kind != Token::Text) {
      key.reset();
      continue;
    }
    if (!key) {
      key = std::move(token);
      continue;
    }
    // A key and its plain value.
    if ((EqualsIgnoringAsciiCase(key->text, "path") || IsNumber(key->text)) &&
        token->text.starts_with('/')) {
      paths.push_back(std::move(token->text));
    }
    key.reset();
  }
  return paths;
}

}  // namespace ovix
